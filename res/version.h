/* The version of the updater and of its distributable: the one place it is written. The
   version resource takes it from here, and so does the name of the distributable's archive. */
#define KN_VERSION_MAJOR 1
#define KN_VERSION_MINOR 0
#define KN_VERSION_PATCH 0
#define KN_VERSION_BUILD 1
#define KN_VERSION_TEXT "1.0.0.1"
