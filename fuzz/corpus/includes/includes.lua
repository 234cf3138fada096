#include lib.lua
x=1
#include other.m3:1
#include /root.lua
#include "q.lua"
#include again.m3:
