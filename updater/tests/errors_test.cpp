#include "qm/updater/errors.h"

#include <gtest/gtest.h>

using namespace qm::updater;

TEST(UpdaterErrorCodes, EveryCodeHasItsTextAndParsesBack) {
  const char* texts[] = {
      "invalid_payload",      "invalid_schema_version", "missing_required_field",
      "invalid_request_id",   "invalid_sha256_format",  "download_start_failed",
      "download_http_error",  "download_io_error",      "hash_mismatch",
      "hash_compute_error",   "installer_open_failed",  "status_write_failed",
      "cache_cleanup_failed", "swap_in_progress",       "swap_artifact_invalid",
      "swap_host_still_running", "swap_backup_failed",  "swap_apply_failed",
      "swap_rollback_failed", "unexpected_exception",
  };
  static_assert(sizeof texts / sizeof texts[0] == kUpdaterErrorCodeCount);
  for (int i = 0; i < kUpdaterErrorCodeCount; ++i) {
    const auto code = static_cast<UpdaterErrorCode>(i);
    EXPECT_EQ(errorCodeText(code), texts[i]);
    const auto back = errorCodeFromText(texts[i]);
    ASSERT_TRUE(back.has_value()) << texts[i];
    EXPECT_EQ(*back, code);
  }
}

TEST(UpdaterErrorCodes, OtherTextsGiveNoCode) {
  for (const char* t : {"", "Invalid_Payload", "INVALID_PAYLOAD", "invalid_payload ", "hash"})
    EXPECT_FALSE(errorCodeFromText(t).has_value()) << t;
}
