// The JSON body of each endpoint of the service stand-in that reads one, posted to a service on
// loopback as a client would: the first byte picks the endpoint, the rest is the body. Whatever
// it is, the service answers it as a request it accepts or refuses (never 500, never silence)
// and stays up.

#include "qm/service/account.h"
#include "qm/service/service.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

qm::service::Service* gService = nullptr;
httplib::Client* gClient = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qm::service::Options options;
  options.deadlines = {600, 600, 1, 600};  // a loaded machine's pause never cuts a request short
  static qm::service::Service service(options);
  if (!service.start()) __builtin_trap();
  gService = &service;
  static httplib::Client client("127.0.0.1", service.port());
  client.set_keep_alive(false);  // a connection a request: a kept one waits on delayed acknowledgements
  client.set_read_timeout(60, 0);
  client.set_write_timeout(60, 0);
  gClient = &client;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kPaths[] = {qm::service::kAccountStatus, qm::service::kRefund, qm::service::kVote,
                                       qm::service::kLogUpload, qm::service::kPluginEvent};
  const char* path = kPaths[data[0] % (sizeof kPaths / sizeof *kPaths)];
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto res = gClient->Post(path, {{"Authorization", "Bearer fuzz"}}, body, "application/json");
  if (!res || (res->status != 200 && res->status != 400 && res->status != 413)) __builtin_trap();
  const auto answer = nlohmann::json::parse(res->body, nullptr, false);
  if (!answer.is_object()) __builtin_trap();
  // What the account desk keeps stays within its bounds.
  if (path == qm::service::kAccountStatus && gService->receivedPluginEvents().size() >
                                                  qm::service::kMostReceivedEventBytes + qm::service::kMostReceivedEvents + 2)
    __builtin_trap();
  return 0;
}
