// The MPI calls of a run over ranks (cli/mpi_calls.h), built as the module zelbo_mpi.so.
#include <mpi.h>

#include <cstdlib>

#include "cli/mpi_calls.h"

namespace {

bool start(int* argc, char*** argv, int* rank, int* size) {
  int provided = 0;
  MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
  MPI_Comm_rank(MPI_COMM_WORLD, rank);
  MPI_Comm_size(MPI_COMM_WORLD, size);
  return provided >= MPI_THREAD_FUNNELED;
}

bool arrived(int source, int* sender, int* tag, int* bytes) {
  int flag = 0;
  MPI_Status status;
  MPI_Iprobe(source < 0 ? MPI_ANY_SOURCE : source, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status);
  if (!flag) return false;
  *sender = status.MPI_SOURCE;
  *tag = status.MPI_TAG;
  MPI_Get_count(&status, MPI_BYTE, bytes);
  return true;
}

void receive(void* data, int bytes, int sender, int tag) {
  MPI_Recv(data, bytes, MPI_BYTE, sender, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
}

void* send(const void* data, int bytes, int to, int tag) {
  auto* request = new MPI_Request;
  MPI_Isend(data, bytes, MPI_BYTE, to, tag, MPI_COMM_WORLD, request);
  return request;
}

bool done(void* request) {
  auto* r = static_cast<MPI_Request*>(request);
  int flag = 0;
  MPI_Test(r, &flag, MPI_STATUS_IGNORE);
  if (flag) delete r;
  return flag != 0;
}

[[noreturn]] void abortJob(int status) {
  MPI_Abort(MPI_COMM_WORLD, status);
  std::abort();  // MPI_Abort does not return
}

void finish() { MPI_Finalize(); }

const zelbo::MpiCalls kCalls{start, arrived, receive, send, done, abortJob, finish};

}  // namespace

extern "C" const zelbo::MpiCalls* zelboMpiCalls() { return &kCalls; }
