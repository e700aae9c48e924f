// The few run-time pieces the player's code pulls in without a C runtime of its own.
//
// The shared core's encoder asks the processor for AVX2 through libgcc's processor check, whose
// start-up code and tables would take a third of the stub. The player links the core's object that
// holds the encoder (the movie writer sits beside the reader) but never calls it, so the check is
// answered here with "no extensions": the linker then leaves libgcc's version out and drops the
// unused encoder with the other unreferenced sections.
extern "C" {

struct ProcessorModel {
  unsigned int Vendor, Type, Subtype, Features[1];
} __cpu_model;

int __cpu_indicator_init() { return 0; }

}
