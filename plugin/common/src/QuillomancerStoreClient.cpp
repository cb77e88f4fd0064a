#include "QuillomancerStoreClient.h"

#include <algorithm>

#include "AAX_Errors.h"
#include "AAX_IEffectParameters.h"
#include "qm/platform/text.h"

std::string QuillomancerStoreClient::ReadString(uint32_t blockId, uint32_t maxBytes) const {
  if (mParameters == nullptr) return {};
  std::string buffer(maxBytes, '\0');
  uint32_t n = 0;
  if (mParameters->GetCustomData(blockId, maxBytes, buffer.data(), &n) != AAX_SUCCESS) return {};
  buffer.resize(std::min(n, maxBytes));
  return buffer;
}

std::optional<uint8_t> QuillomancerStoreClient::ReadByte(uint32_t blockId) const {
  if (mParameters == nullptr) return std::nullopt;
  uint8_t value = 0;
  uint32_t n = 0;
  mParameters->GetCustomData(blockId, 1, &value, &n);  // the count tells, not the result code
  if (n == 0) return std::nullopt;
  return value;
}

bool QuillomancerStoreClient::ReadFlag(uint32_t blockId) const { return ReadByte(blockId).value_or(0) != 0; }

QuillomancerStatusRecord QuillomancerStoreClient::ReadStatus() const {
  QuillomancerStatusRecord record;
  if (mParameters == nullptr) return record;
  uint32_t n = 0;
  mParameters->GetCustomData(kQMBlock_Status, kQMStatusRecordSize, &record, &n);
  return record;
}

QMTimelineSelection QuillomancerStoreClient::ReadTimelineSelection() const {
  if (mParameters == nullptr) return {};
  uint8_t block[kQMTimelineSelectionSize] = {};
  uint32_t n = 0;
  const AAX_Result result = mParameters->GetCustomData(kQMBlock_TimelineSelection, sizeof block, block, &n);
  if (result != AAX_SUCCESS || n < kQMTimelineSelectionSize) return {};
  return QMDecodeTimelineSelection(block);
}

std::optional<std::string> QuillomancerStoreClient::ReadCheckedText(uint32_t blockId, uint32_t maxBytes) const {
  if (mParameters == nullptr) return std::nullopt;
  std::string buffer(std::size_t(maxBytes) + 1, '\0');
  uint32_t n = 0;
  if (mParameters->GetCustomData(blockId, maxBytes + 1, buffer.data(), &n) != AAX_SUCCESS || n == 0) {
    return std::nullopt;
  }
  buffer.resize(std::min<std::size_t>(n, buffer.size()));
  if (buffer.size() > maxBytes) buffer.resize(qm::platform::utf8PrefixLength(buffer, maxBytes));
  return buffer;
}

bool QuillomancerStoreClient::ReadCheckedFlag(uint32_t blockId) const {
  if (mParameters == nullptr) return false;
  uint8_t value = 0;
  uint32_t n = 0;
  if (mParameters->GetCustomData(blockId, 1, &value, &n) != AAX_SUCCESS || n == 0) return false;
  return value != 0;
}

std::optional<QuillomancerStatusRecord> QuillomancerStoreClient::ReadCheckedStatus() const {
  if (mParameters == nullptr) return std::nullopt;
  QuillomancerStatusRecord record;
  uint32_t n = 0;
  if (mParameters->GetCustomData(kQMBlock_Status, kQMStatusRecordSize, &record, &n) != AAX_SUCCESS ||
      n != kQMStatusRecordSize) {
    return std::nullopt;
  }
  return record;
}

void QuillomancerStoreClient::WriteString(uint32_t blockId, std::string_view bytes) const {
  if (mParameters == nullptr) return;
  mParameters->SetCustomData(blockId, uint32_t(bytes.size()), bytes.empty() ? nullptr : bytes.data());
}

void QuillomancerStoreClient::WriteByte(uint32_t blockId, uint8_t value) const {
  if (mParameters != nullptr) mParameters->SetCustomData(blockId, 1, &value);
}

void QuillomancerStoreClient::WriteStatus(const QuillomancerStatusRecord& record) const {
  if (mParameters != nullptr) mParameters->SetCustomData(kQMBlock_Status, kQMStatusRecordSize, &record);
}

void QuillomancerStoreClient::Clear(uint32_t blockId) const {
  if (mParameters != nullptr) mParameters->SetCustomData(blockId, 0, nullptr);
}
