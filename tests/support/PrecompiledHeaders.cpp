// Compiles the tests' precompiled headers.
