// The converter: filled in by the converter work.
