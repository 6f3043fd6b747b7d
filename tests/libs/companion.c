/*
 * companion: an ordinary shared library (no entry points) that a game
 * library links against and publishes beside itself, as a studio splits
 * its game into several libraries. Native builds only.
 */
int companion_value(void) { return 4242; }
