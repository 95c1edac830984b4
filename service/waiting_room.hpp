// The requests that wait for one printer. Each holds one of the HTTP server's threads
// while it waits (cpp-httplib answers a request on the thread that read it, so a wait
// that holds no thread would need a server of another kind). A printer that stops, a
// printout that never ends, would otherwise gather every thread of the server: so each
// printer has a fixed number of seats, and a request that finds them taken is answered
// at once. The server has a thread for every seat of every printer and more besides, so
// the other printers, health and metrics always find one.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <utility>

namespace tauravatd {

class WaitingRoom {
 public:
  explicit WaitingRoom(size_t seats) : seats_(seats) {}
  WaitingRoom(const WaitingRoom&) = delete;
  WaitingRoom& operator=(const WaitingRoom&) = delete;

  // A taken seat, given back when it goes.
  class Seat {
   public:
    Seat(Seat&& other) noexcept : room_(std::exchange(other.room_, nullptr)) {}
    Seat& operator=(Seat&&) = delete;
    ~Seat() {
      if (room_ != nullptr) room_->taken_.fetch_sub(1);
    }

   private:
    friend class WaitingRoom;
    explicit Seat(WaitingRoom* room) : room_(room) {}
    WaitingRoom* room_;
  };

  // A seat, or none when all are taken.
  std::optional<Seat> TryEnter() {
    size_t taken = taken_.load();
    do {
      if (taken >= seats_) return std::nullopt;
    } while (!taken_.compare_exchange_weak(taken, taken + 1));
    return Seat(this);
  }

  size_t Waiting() const { return taken_.load(); }
  size_t Seats() const { return seats_; }

 private:
  const size_t seats_;
  std::atomic<size_t> taken_{0};
};

}  // namespace tauravatd
