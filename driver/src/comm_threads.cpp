#include "comm_threads.hpp"

#include "comm.hpp"
#include "comm_port.hpp"

namespace kestradr {

TZdarzeniaCommThread::TZdarzeniaCommThread(SerialDevice& device, uint32_t eventMask,
                                           MainThreadQueue& queue, Handler handler)
    : device_(device), queue_(queue), handler_(std::move(handler)) {
  RaiseProcessPriority();
  device_.SetEventMask(eventMask);
  thread_ = std::thread([this] { Execute(); });
}

TZdarzeniaCommThread::~TZdarzeniaCommThread() {
  Terminate();
  WaitFor();
}

void TZdarzeniaCommThread::Terminate() {
  stop_.Set();
}

void TZdarzeniaCommThread::WaitFor() {
  if (!thread_.joinable()) return;
  WaitServingMainQueue(queue_, {&finished_});
  thread_.join();
}

void TZdarzeniaCommThread::Execute() {
  RaiseThreadPriority(ThreadPriority::Highest);
  try {
    for (;;) {
      uint32_t mask = 0;
      if (device_.WaitLineEvent(stop_, mask) != LineWait::Event) break;
      ProcessEvent(mask);
    }
    device_.PurgeAll();
  } catch (...) {
    // Nothing to report to: the port closes either way.
  }
  finished_.Set();
}

void TZdarzeniaCommThread::ProcessEvent(uint32_t mask) {
  // Returns early when the port is closing; the next wait then sees the stop event.
  queue_.RunOnMainThread([this, mask] { handler_(mask); }, stop_);
}

TZapisOdczytThread::TZapisOdczytThread(TComm& comm, SerialLink& link, const Event& writeRequest,
                                       const Event& readRequest)
    : comm_(comm), link_(link), writeRequest_(writeRequest), readRequest_(readRequest) {
  thread_ = std::thread([this] { Execute(); });
}

TZapisOdczytThread::~TZapisOdczytThread() {
  Terminate();
  WaitFor();
}

void TZapisOdczytThread::Terminate() {
  stop_.Set();
}

void TZapisOdczytThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TZapisOdczytThread::Execute() {
  RaiseThreadPriority(ThreadPriority::TimeCritical);
  bool callerWatching = false;
  for (;;) {
    // A caller still watching for the answer just handed back comes with its next byte
    // at once; one that sleeps has to be woken first, and watching for it only burns.
    const auto watch = callerWatching ? kAwakeWatch : std::chrono::microseconds(0);
    link_.writerWatch_.Start(watch);
    switch (WaitForAny({&stop_, &writeRequest_, &readRequest_}, kInfinite, Micros(watch))) {
      // IdleEvent was reset by the caller before it made the request.
      case 1:
        DoWrite();
        break;
      case 2:
        DoRead();
        break;
      default:  // stopped, or the wait itself failed
        return;
    }
    callerWatching = link_.callerWatch_.Watching();
  }
}

void TZapisOdczytThread::DoWrite() {
  comm_.WriteData(link_.ByteToWrite);
}

void TZapisOdczytThread::DoRead() {
  comm_.ReadData(link_.ByteRead);
}

}  // namespace kestradr
