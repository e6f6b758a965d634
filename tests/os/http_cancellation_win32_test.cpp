// A stop of the service ends a WinHTTP call that waits on a server that
// stalls, under Wine against the local HTTPS feed. The stop event, once
// set, stays set for the life of the process, so these tests run in a
// process of their own and each makes a fresh event.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "feed/feed_client.h"
#include "os/http.h"
#include "os/stop_event.h"

namespace ostrel::os {
namespace {

using Clock = std::chrono::steady_clock;
using test::FeedRequest;

constexpr auto StopAfter = std::chrono::milliseconds(300);
constexpr auto Promptly = std::chrono::milliseconds(1000);

// Runs the call while another thread sets the stop event after a moment;
// returns the call's outcome and how long it ran past the stop.
Failure CallStoppedMidway(const std::function<Failure()>& call, Clock::duration& pastTheStop) {
  Clock::time_point stopped;
  std::thread stopper([&stopped] {
    std::this_thread::sleep_for(StopAfter);
    stopped = Clock::now();
    EXPECT_EQ(SetStopEvent(), std::nullopt);
  });
  const Failure failure = call();
  const Clock::time_point ended = Clock::now();
  stopper.join();
  pastTheStop = ended - stopped;
  return failure;
}

// The time measured includes closing the request's handles, which the
// caller does right after a cancelled call.
TEST(HttpCancellationTest, AStopEndsTheWaitForHeadersThatNeverCome) {
  ASSERT_EQ(CreateStopEvent(), std::nullopt);
  Clock::duration pastTheStop{};
  const Failure failure = CallStoppedMidway(
      [] {
        FeedRequest request(u"/updates/native/stalled-30");
        return request.Send();
      },
      pastTheStop);
  EXPECT_EQ(failure, ErrorWinHttpOperationCancelled);
  EXPECT_LT(pastTheStop, Promptly);
}

// The body halts after ten bytes. Wine's read waits to fill the buffer, so
// the read itself meets the halt.
TEST(HttpCancellationTest, AStopEndsAReadOfABodyThatHalted) {
  ASSERT_EQ(CreateStopEvent(), std::nullopt);
  std::optional<FeedRequest> request(std::in_place, u"/updates/native/halted-30");
  ASSERT_EQ(request->Send(), std::nullopt);
  char buffer[65536];
  std::uint32_t read = 0;
  Clock::duration pastTheStop{};
  const Failure failure = CallStoppedMidway(
      [&] {
        Failure readFailure;
        do {
          readFailure = WinHttpReadData(request->request, buffer, read);
        } while (!readFailure && read != 0);
        request.reset();
        return readFailure;
      },
      pastTheStop);
  EXPECT_EQ(failure, ErrorWinHttpOperationCancelled);
  EXPECT_LT(pastTheStop, Promptly);
}

TEST(HttpCancellationTest, AfterAStopNothingIsSent) {
  ASSERT_EQ(CreateStopEvent(), std::nullopt);
  ASSERT_EQ(SetStopEvent(), std::nullopt);
  FeedRequest request(u"/updates/native/bytes-10");
  EXPECT_EQ(request.Send(), ErrorWinHttpOperationCancelled);
}

}  // namespace
}  // namespace ostrel::os
