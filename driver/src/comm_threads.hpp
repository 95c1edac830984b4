// The port's two worker threads. Each owns its stop event and its std::thread; the
// destructor stops and joins, so a thread never outlives the port object.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

#include "comm_spin.hpp"
#include "event.hpp"
#include "main_thread_queue.hpp"
#include "serial_device.hpp"

namespace kestradr {

class SerialLink;
class TComm;

// Watches the device's communication events and hands each to the main thread: the
// thread that waits inside the link's operations and serves `queue`.
class TZdarzeniaCommThread {
 public:
  using Handler = std::function<void(uint32_t mask)>;
  // Raises the process priority and sets the device's event mask, then starts.
  TZdarzeniaCommThread(SerialDevice& device, uint32_t eventMask, MainThreadQueue& queue,
                       Handler handler);
  ~TZdarzeniaCommThread();
  TZdarzeniaCommThread(const TZdarzeniaCommThread&) = delete;
  TZdarzeniaCommThread& operator=(const TZdarzeniaCommThread&) = delete;

  void Terminate();
  // Waits for the end while serving the main-thread hand-over.
  void WaitFor();

 private:
  void Execute();
  void ProcessEvent(uint32_t mask);

  SerialDevice& device_;
  MainThreadQueue& queue_;
  Handler handler_;
  Event stop_;
  Event finished_;
  std::thread thread_;
};

// Performs every single-byte transfer the caller requests.
class TZapisOdczytThread {
 public:
  TZapisOdczytThread(TComm& comm, SerialLink& link, const Event& writeRequest,
                     const Event& readRequest);
  ~TZapisOdczytThread();
  TZapisOdczytThread(const TZapisOdczytThread&) = delete;
  TZapisOdczytThread& operator=(const TZapisOdczytThread&) = delete;

  void Terminate();
  void WaitFor();

 private:
  void Execute();
  void DoWrite();
  void DoRead();

  TComm& comm_;
  SerialLink& link_;
  const Event& writeRequest_;
  const Event& readRequest_;
  Event stop_;
  std::thread thread_;
};

}  // namespace kestradr
