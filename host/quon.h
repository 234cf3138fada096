// The host framework in one include: process and loop, log, timing, display,
// input, configuration, files, PNG writing, pods and text.
#pragma once
#include "host/bitmap.h"
#include "host/clipboard.h"
#include "host/config.h"
#include "host/disk.h"
#include "host/display.h"
#include "host/events.h"
#include "host/input.h"
#include "host/joystick.h"
#include "host/log.h"
#include "host/main_loop.h"
#include "host/paths.h"
#include "host/png.h"
#include "host/pod.h"
#include "host/stream.h"
#include "host/text.h"
#include "host/timing.h"
