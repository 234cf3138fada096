// Calls that go upward: each is declared once in the lower folder's header
// and defined in the upper folder. They are listed here so that they can be
// seen together; add a line when you add one.
//
//   declared in            defined in            call
//   -----------            ----------            ----
#pragma once
