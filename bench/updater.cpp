// The updater's two heavy steps on a 512 MiB package, each beside the tool an engineer would use
// for the same job: our streamed SHA-256 vs "openssl dgst -sha256", and our downloader vs
// "curl" fetching the same URL from the same loopback HTTPS server. Ratios are printed at the end
// (ours / tool; below 1 is faster).
#include "qm/platform/process.h"
#include "qm/platform/sha256.h"
#include "qm/updater/download.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kFileBytes = 512ull << 20;
const fs::path kWork = fs::temp_directory_path() / "qm-bench-updater";
const fs::path kSource = kWork / "package-512MiB.bin";

std::map<std::string, double> gSeconds;  // mean seconds per run, by benchmark name

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void makeSourceFile() {
  fs::create_directories(kWork);
  std::error_code ec;
  if (fs::file_size(kSource, ec) == kFileBytes) return;
  std::ofstream out(kSource, std::ios::binary | std::ios::trunc);
  std::mt19937_64 rng(42);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  for (std::uint64_t done = 0; done < kFileBytes; done += block.size() * 8) {
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
          kFileBytes, "application/octet-stream",
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

// Times each iteration of `step` by hand (the work is outside the process or on disk) and keeps
// the mean under `name` for the ratios printed at the end.
template <typename Step>
void timeEach(benchmark::State& state, const std::string& name, Step step) {
  double total = 0;
  for (auto _ : state) {
    const auto t = std::chrono::steady_clock::now();
    step();
    const double s = seconds(t);
    state.SetIterationTime(s);
    total += s;
  }
  gSeconds[name] = total / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void BM_Sha256File_Ours(benchmark::State& state) {
  timeEach(state, "sha_ours", [&] {
    std::string hex;
    if (!qm::platform::sha256File(kSource.string(), hex)) state.SkipWithError("hash failed");
    benchmark::DoNotOptimize(hex);
  });
}

void BM_Sha256File_OpensslDgst(benchmark::State& state) {
  timeEach(state, "sha_tool", [&] {
    if (!run("openssl", {"dgst", "-sha256", kSource.string()})) state.SkipWithError("openssl failed");
  });
}

void BM_Download_Ours(benchmark::State& state) {
  qm::updater::UpdaterConfig config;
  config.allowedUpdateHosts = {"127.0.0.1"};
  config.caFile = gServer->caFile;
  config.maxDownloadBytes = kFileBytes + 1;
  const std::string dest = (kWork / "ours.pkg").string();
  timeEach(state, "download_ours", [&] {
    try {
      qm::updater::HttpDownloader(config).download(gServer->url(), dest);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
    }
  });
  fs::remove(dest);
}

void BM_Download_Curl(benchmark::State& state) {
  const std::string dest = (kWork / "curl.pkg").string();
  timeEach(state, "download_tool", [&] {
    if (!run("curl", {"-sSf", "--cacert", gServer->caFile, "-o", dest, gServer->url()}))
      state.SkipWithError("curl failed");
  });
  fs::remove(dest);
}

BENCHMARK(BM_Sha256File_Ours)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256File_OpensslDgst)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Download_Ours)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Download_Curl)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
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
      std::printf("%s: ours %.3f s, tool %.3f s, ratio %.2f\n", what, gSeconds[ours], gSeconds[tool],
                  gSeconds[ours] / gSeconds[tool]);
  };
  ratio("sha_ours", "sha_tool", "SHA-256 of 512 MiB vs openssl dgst -sha256");
  ratio("download_ours", "download_tool", "loopback HTTPS download of 512 MiB vs curl");
  // Half a gigabyte is not left lying in the temporary folder.
  std::error_code ec;
  fs::remove_all(kWork, ec);
  return 0;
}
