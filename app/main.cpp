// Entry point; the program's start and end are in ZARNDemoMain.

#include "app/ZARNDemoMain.h"

int main(int argc, char** argv) { return ZarnDemoMain(argc, argv); }
