mivo-3 cartridge // x
version 99
__lua__
x=1
