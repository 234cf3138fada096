// Process entry of the player: everything else starts from quon_main.
#include "host/quon.h"

int main(int argc, char** argv) { return quon_main(argc, argv); }
