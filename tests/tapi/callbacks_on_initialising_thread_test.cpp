// Notifications reach the callback on the thread that initialised the
// service, in the order of the changes they report, with the handle cells
// already written when the reply that completes them arrives.

#include <QThread>

#include "tapi_test_support.h"

namespace telvora::tapi::test {
namespace {

using CallbackTest = LabFixture;

TEST_F(CallbackTest, ArriveInOrderWithTheLinesInstanceAndTheCellWritten) {
  const HLINE line = OpenLine(0, 0xCAFE);
  HCALL call = 0;
  HCALL cell_at_reply = 1;
  LONG request = 0;
  Recorder::Get().SetHook([&](const Received& r) {
    if (r.message == LINE_REPLY && static_cast<LONG>(r.p1) == request) cell_at_reply = call;
  });
  request = lineMakeCall(line, &call, "5551234", 0, nullptr);
  ASSERT_GT(request, 0);
  EXPECT_EQ(call, 0u);  // not before the reply
  ASSERT_TRUE(WaitUntil([&] {
    const auto s = Recorder::Get().StatesOf(call);
    return call != 0 && !s.empty() && s.back() == LINECALLSTATE_CONNECTED;
  }));
  EXPECT_EQ(cell_at_reply, call);
  const LONG drop = lineDrop(call, nullptr, 0);
  ASSERT_GT(drop, request);
  ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().StatesOf(call).back() == LINECALLSTATE_IDLE; }));

  struct Expected {
    DWORD message;
    DWORD_PTR p1;
  };
  const std::vector<Expected> expected = {
      {LINE_REPLY, static_cast<DWORD_PTR>(request)}, {LINE_CALLSTATE, LINECALLSTATE_DIALING},
      {LINE_CALLSTATE, LINECALLSTATE_PROCEEDING},    {LINE_CALLSTATE, LINECALLSTATE_RINGBACK},
      {LINE_CALLSTATE, LINECALLSTATE_CONNECTED},     {LINE_REPLY, static_cast<DWORD_PTR>(drop)},
      {LINE_CALLSTATE, LINECALLSTATE_IDLE},
  };
  const auto all = Recorder::Get().All();
  ASSERT_EQ(all.size(), expected.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(all[i].message, expected[i].message);
    EXPECT_EQ(all[i].p1, expected[i].p1);
    EXPECT_EQ(all[i].instance, 0xCAFEu);
    EXPECT_EQ(all[i].thread, QThread::currentThread());
  }
  // The first state of a new call tells the privilege; later ones do not.
  EXPECT_EQ(all[1].p3, LINECALLPRIVILEGE_OWNER);
  EXPECT_EQ(all[2].p3, 0u);
  EXPECT_EQ(lineDeallocateCall(call), 0);
}

TEST(CallbackThreadTest, DeliveredOnTheInitialisingThreadNotTheCallers) {
  QtApp();
  Recorder::Get().Clear();
  LabLine* lab = nullptr;
  SetDeviceFactory([&lab] {
    DeviceSet set;
    auto line = std::make_unique<LabLine>(LabLine::DefaultCaps(0, false));
    lab = line.get();
    set.lines.push_back(std::move(line));
    return set;
  });
  QThread worker;
  worker.start();
  QObject context;
  context.moveToThread(&worker);
  HLINEAPP app = 0;
  DWORD devices = 0, version = kApiVersion22;
  QMetaObject::invokeMethod(&context, [&] {
    ASSERT_EQ(lineInitializeExW(&app, nullptr, &Recorder::Callback, nullptr, &devices, &version, nullptr), 0);
  }, Qt::BlockingQueuedConnection);

  // Requests from this thread, reports from the lab's own thread: the
  // callback still runs on the worker.
  HLINE line = 0;
  ASSERT_EQ(lineOpen(app, 0, &line, kApiVersion22, 0, 1, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_INTERACTIVEVOICE, nullptr), 0);
  ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
  HCALL call = 0;
  ASSERT_GT(lineMakeCall(line, &call, "123", 0, nullptr), 0);
  lab->Ring(1);
  ASSERT_TRUE(WaitUntil([] {
    const auto s = Recorder::Get().Of(LINE_CALLSTATE);
    return !s.empty() && s.back().p1 == LINECALLSTATE_CONNECTED;
  }));
  const auto all = Recorder::Get().All();
  EXPECT_GE(all.size(), 6u);
  for (const Received& r : all) EXPECT_EQ(r.thread, &worker);

  QMetaObject::invokeMethod(&context, [&] { lineShutdown(app); }, Qt::BlockingQueuedConnection);
  worker.quit();
  worker.wait();
  SetDeviceFactory({});
  Recorder::Get().Clear();
}

TEST_F(CallbackTest, NothingArrivesAfterShutdown) {
  const HLINE line = OpenLine();
  ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
  labs_[0]->Ring(1);
  labs_[0]->Ring(2);  // posted, not yet delivered
  ASSERT_EQ(lineShutdown(app_), 0);
  app_ = 0;
  Pump();
  EXPECT_TRUE(Recorder::Get().All().empty());
}

TEST_F(CallbackTest, InitialisationChecksItsArguments) {
  HLINEAPP app = 0;
  DWORD devices = 0, version = kApiVersion22;
  LINEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof params;
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  EXPECT_EQ(lineInitializeExW(&app, nullptr, &Recorder::Callback, nullptr, &devices, &version, &params),
            LINEERR_OPERATIONUNAVAIL);
  params.dwTotalSize = 8;
  EXPECT_EQ(lineInitializeExW(&app, nullptr, &Recorder::Callback, nullptr, &devices, &version, &params),
            LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(lineInitializeExW(&app, nullptr, nullptr, nullptr, &devices, &version, nullptr),
            LINEERR_INVALPOINTER);
  // The 1.x entry point, as the fallback of the extended one.
  ASSERT_EQ(lineInitialize(&app, nullptr, &Recorder::Callback, "test", &devices), 0);
  EXPECT_EQ(devices, static_cast<DWORD>(kLines));
  EXPECT_NE(app, app_);
  EXPECT_EQ(lineShutdown(app), 0);
  EXPECT_EQ(lineShutdown(app), LINEERR_INVALAPPHANDLE);
}

}  // namespace
}  // namespace telvora::tapi::test
