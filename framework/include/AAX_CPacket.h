// A coefficient packet: an identifier, a dirty flag and a small owned byte buffer that a packet
// handler fills and the dispatcher posts to the host.
#pragma once

#include "AAX.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

class AAX_CPacket {
public:
  class SPacketData {
  public:
    SPacketData() : mData(8) {}
    // Start of a buffer of `size` bytes (its alignment suits any scalar type).
    void* Resize(size_t size) {
      mData.resize(size);
      return mData.data();
    }
    const void* Get() const { return mData.data(); }

  private:
    // Heap storage: aligned for any scalar, and it never moves (it only shrinks below 8 bytes).
    std::vector<unsigned char> mData;
  };

  explicit AAX_CPacket(AAX_CFieldIndex packetID) : mID(packetID) {}

  // GetPtr<int32_t>() and GetPtr<float>() size the packet to 4 bytes, GetPtr<double>() to 8;
  // GetPtr<const void>() answers the data without changing its size.
  template <typename T>
  T* GetPtr() {
    if constexpr (std::is_same_v<std::remove_cv_t<T>, void>) {
      return static_cast<T*>(mData.Get());
    } else {
      static_assert(std::is_arithmetic_v<T> && sizeof(T) <= 8, "packets carry one scalar value");
      mDataSize = sizeof(T);
      return static_cast<T*>(mData.Resize(mDataSize));
    }
  }

  AAX_CFieldIndex GetID() const { return mID; }
  uint32_t GetSize() const { return mDataSize; }
  bool IsDirty() const { return mDirty; }
  void SetDirty(bool dirty) { mDirty = dirty; }

private:
  AAX_CFieldIndex mID;
  bool mDirty = true;
  uint32_t mDataSize = 0;
  SPacketData mData;
};
