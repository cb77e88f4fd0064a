#pragma once
// A typed client of the custom-data store over the host-facing effect-parameters interface, for
// every side that reaches the store: the processor, the window and its repair component, and the
// host stand-in's session. It holds the interface without counting it (its owner does) and answers
// quietly when there is none: reads give nothing, writes do nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QuillomancerStoreVocabulary.h"

class AAX_IEffectParameters;

class QuillomancerStoreClient {
 public:
  QuillomancerStoreClient() = default;
  explicit QuillomancerStoreClient(AAX_IEffectParameters* parameters) : mParameters(parameters) {}

  // Whether there is a store to talk to.
  bool IsBound() const { return mParameters != nullptr; }

  // At most `maxBytes` bytes of a string block; empty when the store refuses the read. [any-thread]
  std::string ReadString(uint32_t blockId, uint32_t maxBytes) const;
  // A byte block read with a one-byte buffer; nothing when the store reported no byte. [any-thread]
  std::optional<uint8_t> ReadByte(uint32_t blockId) const;
  // A one-byte switch: on when the block reads a byte that is not zero. [any-thread]
  bool ReadFlag(uint32_t blockId) const;
  // The status record as the store answers it (takesRequested is the QMtk byte). [any-thread]
  QuillomancerStatusRecord ReadStatus() const;
  // The host's timeline selection (QMts); not valid when the read fails or the block says so.
  // [any-thread]
  QMTimelineSelection ReadTimelineSelection() const;

  // Checked reads, for a side that must tell a value from its absence (the window): a value
  // counts only when the store answers success and reports at least one byte.
  // At most `maxBytes` bytes of a text block, cut on a code-point boundary: one byte more is read
  // so that a longer block is known to be cut. [any-thread]
  std::optional<std::string> ReadCheckedText(uint32_t blockId, uint32_t maxBytes) const;
  // A one-byte switch: on when the read is present and its byte is not zero. [any-thread]
  bool ReadCheckedFlag(uint32_t blockId) const;
  // The status record, only when the store answers exactly its 28 bytes. [any-thread]
  std::optional<QuillomancerStatusRecord> ReadCheckedStatus() const;

  // Writes the bytes of a block; empty bytes write size 0, which clears a string block. [any-thread]
  void WriteString(uint32_t blockId, std::string_view bytes) const;
  void WriteByte(uint32_t blockId, uint8_t value) const;
  void WriteStatus(const QuillomancerStatusRecord& record) const;
  // A write with no data (size 0). [any-thread]
  void Clear(uint32_t blockId) const;

 private:
  AAX_IEffectParameters* mParameters = nullptr;
};
