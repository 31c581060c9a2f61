// Frames decoded and dispatched per second, as a ratio to a plain memcpy of the same bytes.
#include "agent/channel/HVAgentSServer.h"
#include "agent/channel/SessionProtocol.h"
#include "tests/agent/channel/TestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QByteArray Stream(int frames) {
  QByteArray out;
  for (int i = 0; i < frames; ++i) {
    const int sub = i % 3 == 0 ? 301 : i % 3 == 1 ? 314 : 365;
    std::vector<Field> f{S("cust"), S("Customer Name"), S("room-1234"), S("{GUID-0000-1111}")};
    if (sub == 301) f = {S("cust"), S("Name"), S("room"), S(""), S("s4"), S("s5"), S("s6"), S("s7"), S("s8"), S("s9")};
    if (sub == 365) f = {S("req"), S("Lee"), S("room"), S("{G}"), 2, S("x")};
    out += hv::sserver::EncodeFrame(MakePush(30403, sub, f));
  }
  return out;
}


constexpr int kFrames = 1000;

double DecodeSeconds(const QByteArray& stream, CHVAgentSServer& ch, int rounds) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    hv::sserver::FrameDecoder d;
    d.Feed(stream);
    QByteArray p;
    while (d.Next(p) == hv::sserver::FrameDecoder::Result::Frame) ch.SocketDataReceive(p);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double MemcpySeconds(const QByteArray& stream, int rounds) {
  std::vector<char> dst(static_cast<size_t>(stream.size()));
  const auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    std::memcpy(dst.data(), stream.constData(), dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_DecodeAndDispatch(benchmark::State& state) {
  EnsureApp();
  const QByteArray stream = Stream(kFrames);
  RecordingListener listener;
  CHVAgentSServer ch(&listener);
  ch.SetIdentity(S("ENC123"), S("a"), S("g"), S("c"));
  for (auto _ : state) {
    listener.calls.clear();
    listener.customers.clear();
    listener.transfers.clear();
    DecodeSeconds(stream, ch, 1);
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_DecodeAndDispatch);

void BM_Memcpy(benchmark::State& state) {
  const QByteArray stream = Stream(kFrames);
  std::vector<char> dst(static_cast<size_t>(stream.size()));
  for (auto _ : state) {
    std::memcpy(dst.data(), stream.constData(), dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_Memcpy);

}  // namespace

int main(int argc, char** argv) {
  EnsureApp();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  // The ratio, measured in this process on the same bytes.
  const QByteArray stream = Stream(kFrames);
  RecordingListener listener;
  CHVAgentSServer ch(&listener);
  ch.SetIdentity(S("ENC123"), S("a"), S("g"), S("c"));
  const int rounds = 200;
  const double decode = DecodeSeconds(stream, ch, rounds);
  const double copy = MemcpySeconds(stream, rounds * 50) / 50;
  const double framesPerSecond = kFrames * rounds / decode;
  std::printf("frames decoded and dispatched: %.0f per second (%d bytes per %d frames)\n", framesPerSecond,
              static_cast<int>(stream.size()), kFrames);
  std::printf("ratio decode+dispatch time / memcpy time of the same bytes: %.1f\n", decode / copy);
  benchmark::Shutdown();
  return 0;
}
