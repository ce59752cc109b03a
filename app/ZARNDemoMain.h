#pragma once
// The program from start to end: the command line (and with --venue the
// venue's settings file) is read, the platform's services are installed,
// the application object runs, and everything is taken down in order: show
// windows (with their sound banks and clip readers) first, then the
// services. SIGINT and SIGTERM end the program the same way, through the
// event loop, with the exit status 128 + the signal's number; when the loop
// does not get there within 2 s (a hung call), or on a second signal, the
// process ends without the orderly steps, with the same status. A command
// line it cannot use ends it with status 2.

int ZarnDemoMain(int argc, char** argv);
