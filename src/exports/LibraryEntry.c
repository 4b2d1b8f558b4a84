/* The shared library is built from the core archive; this file only gives the target a source. */
