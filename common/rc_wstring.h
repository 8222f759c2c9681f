// RcWString: the reference-counted UTF-16 string that engine records carry.
//
// Records such as _FileInfoFat are byte-packed and cross the library boundary
// by value, so this string has to survive both:
//  - its handle is kept in a byte array and moved with memcpy, which makes the
//    type 1-byte aligned and safe at any offset inside a packed record;
//  - each block remembers the function that frees it, so a copy released by
//    another module returns the memory to the module that allocated it.
// The count is atomic because a record may be handed from a worker thread to
// another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace salvor {

class RcWString {
 public:
  RcWString() { store(nullptr); }
  RcWString(std::u16string_view text) { store(make_block(text)); }  // NOLINT: implicit by design
  RcWString(const char16_t* text) : RcWString(text ? std::u16string_view(text) : std::u16string_view()) {}  // NOLINT

  RcWString(const RcWString& other) {
    Block* block = other.load();
    if (block) block->refs.fetch_add(1, std::memory_order_relaxed);
    store(block);
  }
  RcWString(RcWString&& other) noexcept {
    store(other.load());
    other.store(nullptr);
  }
  RcWString& operator=(const RcWString& other) {
    if (this != &other) {
      RcWString copy(other);
      swap(copy);
    }
    return *this;
  }
  RcWString& operator=(RcWString&& other) noexcept {
    if (this != &other) {
      release();
      store(other.load());
      other.store(nullptr);
    }
    return *this;
  }
  ~RcWString() { release(); }

  std::u16string_view view() const {
    Block* block = load();
    return block ? std::u16string_view(block->text(), block->length) : std::u16string_view();
  }
  const char16_t* c_str() const {
    Block* block = load();
    return block ? block->text() : u"";
  }
  size_t size() const { return view().size(); }
  bool empty() const { return view().empty(); }
  std::u16string str() const { return std::u16string(view()); }

  void swap(RcWString& other) noexcept {
    Block* mine = load();
    store(other.load());
    other.store(mine);
  }

  friend bool operator==(const RcWString& a, const RcWString& b) { return a.view() == b.view(); }

 private:
  struct Block {
    std::atomic<uint32_t> refs;
    void (*free_block)(Block*);
    uint32_t length;
    // The UTF-16 text and its terminator follow the header.
    char16_t* text() { return reinterpret_cast<char16_t*>(this + 1); }
  };

  static void free_block(Block* block) {
    block->~Block();
    ::operator delete(static_cast<void*>(block));
  }

  static Block* make_block(std::u16string_view text) {
    if (text.empty()) return nullptr;
    const size_t bytes = sizeof(Block) + (text.size() + 1) * sizeof(char16_t);
    void* memory = ::operator new(bytes, std::nothrow);
    if (!memory) return nullptr;
    auto* block = new (memory) Block{{1}, &RcWString::free_block, static_cast<uint32_t>(text.size())};
    char16_t* chars = block->text();
    std::memcpy(chars, text.data(), text.size() * sizeof(char16_t));
    chars[text.size()] = 0;
    return block;
  }

  void release() {
    Block* block = load();
    if (block && block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) block->free_block(block);
    store(nullptr);
  }

  Block* load() const {
    Block* block;
    std::memcpy(&block, handle_, sizeof block);
    return block;
  }
  void store(Block* block) { std::memcpy(handle_, &block, sizeof block); }

  unsigned char handle_[sizeof(void*)];
};

static_assert(alignof(RcWString) == 1, "RcWString must be placeable inside packed records");
static_assert(sizeof(RcWString) == sizeof(void*));

}  // namespace salvor
