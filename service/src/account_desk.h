#pragma once
// The account-status endpoint's own state, kept apart from the other endpoints: the settings it
// answers from and the plug-in events it has received. Thread-safe.
// The events are kept as their compact JSON texts (bounds in account.h).

#include "qm/service/account.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

namespace qm::service {

class AccountDesk {
 public:
  struct Reply {
    int status = 200;
    std::string body;
  };

  void configure(AccountSettings settings);
  AccountSettings settings() const;

  // The answer to one request with this bearer token ("" without one) and body, given the
  // current credit balance. Records the events of an accepted request.
  Reply answer(const std::string& bearerToken, const std::string& body, int creditBalance);

  // A dismissal: removes the message when the token is accepted.
  void dismiss(const std::string& bearerToken, const std::string& messageId);

  // Every plug-in event received so far, oldest first, as one compact JSON array.
  std::string receivedEvents() const;

 private:
  bool accepts(const std::string& token) const;  // with the lock held

  mutable std::mutex mutex_;
  AccountSettings settings_;
  std::deque<std::string> received_;  // compact JSON texts, oldest first
  size_t receivedBytes_ = 0;
};

}  // namespace qm::service
