/*
 * companion: an ordinary shared library (no entry points) that a game
 * library links against and publishes beside itself, as a studio splits
 * its game into several libraries. Built a second time with another value
 * as the copy a test plants where no library should be looked for.
 */
#ifndef COMPANION_VALUE
#  define COMPANION_VALUE 4242
#endif

int companion_value(void) { return COMPANION_VALUE; }
