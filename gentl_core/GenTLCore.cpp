// The start-up of the framework: core reference, configuration, teardown.
