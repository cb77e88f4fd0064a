// The updater's two heavy steps on a 512 MiB package (--package-mib=N for another size), each beside the tool an engineer would use
// for the same job: our streamed SHA-256 vs "openssl dgst -sha256", and our downloader vs
// "curl" fetching the same URL from the same loopback HTTPS server, run back to back in each
// iteration. Each row carries the ratio of the medians as its counter "ratio" (ours / tool;
// below 1 is faster); the comparisons are printed again on standard error at the end, so that
// standard output holds nothing but the report (JSON with --benchmark_format=json).
#include "qm/platform/process.h"
#include "qm/platform/sha256.h"
#include "qm/updater/download.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::uint64_t gFileBytes = 512ull << 20;  // --package-mib
// One folder per run: two runs at once (two build folders' tests) never share or remove each
// other's files.
const fs::path kWork = fs::temp_directory_path() / ("qm-bench-updater-" + std::to_string(::getpid()));
const fs::path kSource = kWork / "package.bin";

std::map<std::string, double> gSeconds;  // mean seconds per run, by benchmark name

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void makeSourceFile() {
  fs::create_directories(kWork);
  std::ofstream out(kSource, std::ios::binary | std::ios::trunc);
  std::mt19937_64 rng(42);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  for (std::uint64_t done = 0; done < gFileBytes; done += block.size() * 8) {
    for (auto& w : block) w = rng();
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
}

bool run(const std::string& program, const std::vector<std::string>& args) {
  qm::platform::ProcessOptions o;
  o.timeoutSeconds = 600;
  return qm::platform::runProcess(program, args, o).exitCode == 0;
}

// A loopback HTTPS server that streams the file from disk, with a certificate made for the run.
struct Server {
  httplib::SSLServer* server = nullptr;
  std::thread thread;
  int port = 0;
  std::string caFile = (kWork / "ca.pem").string();

  bool start() {
    const std::string d = kWork.string();
    { std::ofstream(d + "/san.ext") << "subjectAltName=IP:127.0.0.1\n"; }
    if (!run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=bench CA",
                         "-keyout", d + "/ca.key", "-out", caFile}) ||
        !run("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                         d + "/server.key", "-out", d + "/server.csr"}) ||
        !run("openssl", {"x509", "-req", "-in", d + "/server.csr", "-CA", caFile, "-CAkey", d + "/ca.key",
                         "-CAcreateserial", "-days", "1", "-extfile", d + "/san.ext", "-out", d + "/server.pem"}))
      return false;
    server = new httplib::SSLServer((d + "/server.pem").c_str(), (d + "/server.key").c_str());
    if (!server->is_valid()) return false;
    server->Get("/package.pkg", [](const httplib::Request&, httplib::Response& res) {
      auto fd = std::make_shared<int>(::open(kSource.c_str(), O_RDONLY | O_CLOEXEC));
      res.set_content_provider(
          gFileBytes, "application/octet-stream",
          [fd](size_t offset, size_t length, httplib::DataSink& sink) {
            std::vector<char> buf(std::min<size_t>(length, 1 << 20));
            const ssize_t n = ::pread(*fd, buf.data(), buf.size(), static_cast<off_t>(offset));
            return n > 0 && sink.write(buf.data(), static_cast<size_t>(n));
          },
          [fd](bool) { ::close(*fd); });
    });
    port = server->bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    for (int i = 0; i < 200 && !server->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return port > 0;
  }
  std::string url() const { return "https://127.0.0.1:" + std::to_string(port) + "/package.pkg"; }
  ~Server() {
    if (server) server->stop();
    if (thread.joinable()) thread.join();
    delete server;
  }
};

Server* gServer = nullptr;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Each iteration runs our step and the tool's step back to back, so that both meet the same load
// of the machine, each followed by `tidy` (untimed: the downloaded files are removed, so that
// neither side's pages waiting for the disk slow the other's flush down); the medians of each
// side go under `name` for the comparison printed at the end, and their ratio is the row's "ratio"
// counter. The iteration time reported is ours.
template <typename Ours, typename Tool>
void timePairs(benchmark::State& state, const std::string& name, Ours ours, Tool tool,
               const std::function<void()>& tidy = [] {}) {
  std::vector<double> oursSeconds, toolSeconds;
  for (auto _ : state) {
    auto t = std::chrono::steady_clock::now();
    ours();
    const double o = seconds(t);
    state.PauseTiming();
    tidy();
    state.ResumeTiming();
    t = std::chrono::steady_clock::now();
    tool();
    toolSeconds.push_back(seconds(t));
    state.PauseTiming();
    tidy();
    state.ResumeTiming();
    oursSeconds.push_back(o);
    state.SetIterationTime(o);
  }
  gSeconds[name + "_ours"] = median(oursSeconds);
  gSeconds[name + "_tool"] = median(toolSeconds);
  state.counters["tool_ms"] = gSeconds[name + "_tool"] * 1000;
  if (gSeconds[name + "_tool"] > 0) state.counters["ratio"] = gSeconds[name + "_ours"] / gSeconds[name + "_tool"];
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gFileBytes));
}

void BM_Sha256File_OursThenOpensslDgst(benchmark::State& state) {
  timePairs(
      state, "sha",
      [&] {
        std::string hex;
        if (!qm::platform::sha256File(kSource.string(), hex)) state.SkipWithError("hash failed");
        benchmark::DoNotOptimize(hex);
      },
      [&] {
        if (!run("openssl", {"dgst", "-sha256", kSource.string()})) state.SkipWithError("openssl failed");
      });
}

// Our download beside curl; with `toolSyncs`, curl followed by "sync" of its file: the tool doing
// the same durable job (our download flushes the file before it renames it into place; curl
// leaves that to the system).
void downloadPairs(benchmark::State& state, const std::string& name, bool toolSyncs) {
  qm::updater::UpdaterConfig config;
  config.allowedUpdateHosts = {"127.0.0.1"};
  config.caFile = gServer->caFile;
  config.maxDownloadBytes = gFileBytes + 1;
  const std::string ours = (kWork / "ours.pkg").string(), curl = (kWork / "curl.pkg").string();
  timePairs(
      state, name,
      [&] {
        try {
          qm::updater::HttpDownloader(config).download(gServer->url(), ours);
        } catch (const std::exception& e) {
          state.SkipWithError(e.what());
        }
      },
      [&] {
        if (!run("curl", {"-sSf", "--cacert", gServer->caFile, "-o", curl, gServer->url()}) ||
            (toolSyncs && !run("sync", {curl})))
          state.SkipWithError("curl or sync failed");
      },
      [&] {
        fs::remove(ours);
        fs::remove(curl);
      });
}

void BM_Download_OursThenCurl(benchmark::State& state) { downloadPairs(state, "download", false); }
void BM_Download_OursThenCurlAndSync(benchmark::State& state) { downloadPairs(state, "durable", true); }

BENCHMARK(BM_Sha256File_OursThenOpensslDgst)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Download_OursThenCurl)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Download_OursThenCurlAndSync)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // --package-mib=N (taken out before the benchmark library reads the rest): the package size.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--package-mib=", 0) != 0) continue;
    char* end = nullptr;
    const unsigned long mib = std::strtoul(arg.c_str() + 14, &end, 10);
    if (*end != '\0' || mib == 0 || mib > (1ul << 20)) {
      std::fprintf(stderr, "--package-mib takes a size from 1 to 1048576\n");
      return 2;
    }
    gFileBytes = std::uint64_t(mib) << 20;
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    --i;
  }
  const std::string size = std::to_string(gFileBytes >> 20) + " MiB";
  makeSourceFile();
  {
    Server server;
    if (!server.start()) {
      std::fprintf(stderr, "could not start the loopback HTTPS server\n");
      return 1;
    }
    gServer = &server;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gServer = nullptr;
  }
  auto ratio = [](const char* ours, const char* tool, const char* what) {
    if (gSeconds.count(ours) && gSeconds.count(tool) && gSeconds[tool] > 0)
      std::fprintf(stderr, "%s: ours %.3f s, tool %.3f s, ratio %.2f\n", what, gSeconds[ours], gSeconds[tool],
                   gSeconds[ours] / gSeconds[tool]);
  };
  ratio("sha_ours", "sha_tool", ("SHA-256 of " + size + " vs openssl dgst -sha256 (medians)").c_str());
  ratio("download_ours", "download_tool", ("loopback HTTPS download of " + size + " vs curl (medians)").c_str());
  ratio("durable_ours", "durable_tool", ("loopback HTTPS download of " + size + " vs curl + sync (medians)").c_str());
  // The package is not left lying in the temporary folder.
  std::error_code ec;
  fs::remove_all(kWork, ec);
  return 0;
}
