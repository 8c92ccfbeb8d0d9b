// The MPI calls of a run over ranks, in a module of their own (zelbo_mpi.so, cli/mpi_module.cpp)
// that the command line loads only when a launcher started it: a plain start neither loads
// MPI's libraries nor pays for their loading.
#pragma once

namespace zelbo {

struct MpiCalls {
  // Starts MPI for a process whose main thread alone calls it; false when MPI cannot promise
  // that other threads may run meanwhile.
  bool (*start)(int* argc, char*** argv, int* rank, int* size);
  // Whether a message from `source` (-1: any) has arrived, and its sender, tag and size;
  // never waits.
  bool (*arrived)(int source, int* sender, int* tag, int* bytes);
  void (*receive)(void* data, int bytes, int sender, int tag);
  // Starts sending; the bytes must stay until done() says the request is done.
  void* (*send)(const void* data, int bytes, int to, int tag);
  // True, and the request released, once the send is done.
  bool (*done)(void* request);
  // Ends every rank of the job; never returns.
  void (*abort)(int status);
  void (*finish)();
};

}  // namespace zelbo

// What the module exports: its calls.
extern "C" const zelbo::MpiCalls* zelboMpiCalls();
