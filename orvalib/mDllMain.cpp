// Library entry: nothing to initialise; every export is self-contained.
