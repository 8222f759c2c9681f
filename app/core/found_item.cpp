#include "app/core/found_item.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <new>
#include <type_traits>
#include <unordered_map>

#include "app/core/results_model.h"
#include "platform/platform.h"

namespace salvor::app {
namespace {

// Memory for a store's items, nodes and texts, in blocks whose pages are
// made in one call when the block is taken: page by page, as they are first
// touched, a hundred thousand items cost a few thousand faults, a tenth of
// a scan's time.
std::byte* TakeBlock(std::vector<std::unique_ptr<platform::AnonymousBuffer>>& blocks, size_t bytes) {
  auto& block = blocks.emplace_back(std::make_unique<platform::AnonymousBuffer>());
  if (!block->allocate(bytes, /*populate=*/true)) throw std::bad_alloc();
  return block->bytes().data();
}

// Items and folder nodes live in fixed blocks, so that their addresses never
// change and a growing store never copies what it holds.
template <typename T, size_t kBlock>
class BlockVector {
  static_assert(std::is_trivially_destructible_v<T>, "blocks are given back without destroying what they hold");

 public:
  T& push_back(const T& value) {
    if (size_ % kBlock == 0) starts_.push_back(reinterpret_cast<T*>(TakeBlock(blocks_, kBlock * sizeof(T))));
    T* slot = new (starts_.back() + size_ % kBlock) T(value);
    ++size_;
    return *slot;
  }
  const T& operator[](size_t i) const { return starts_[i / kBlock][i % kBlock]; }
  size_t size() const { return size_; }

 private:
  std::vector<std::unique_ptr<platform::AnonymousBuffer>> blocks_;
  std::vector<T*> starts_;  // each block's first element
  size_t size_ = 0;
};

std::u16string ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

struct ChildKey {
  const FolderNode* parent;
  std::u16string_view name;
  bool operator==(const ChildKey& other) const { return parent == other.parent && name == other.name; }
};

struct ChildKeyHash {
  size_t operator()(const ChildKey& key) const {
    return std::hash<std::u16string_view>()(key.name) * 31 + std::hash<const void*>()(key.parent);
  }
};

constexpr char16_t kBackslash = u'\\';

}  // namespace

struct FoundItems::Store {
  static constexpr size_t kTextBlockChars = 128 * 1024;

  BlockVector<FoundItem, 8192> items;
  BlockVector<FolderNode, 4096> folders;
  std::unordered_map<ChildKey, const FolderNode*, ChildKeyHash> children;
  std::vector<std::unique_ptr<platform::AnonymousBuffer>> text_blocks;
  char16_t* text_block = nullptr;
  size_t text_used = kTextBlockChars;
  size_t text_capacity = kTextBlockChars;
  // The folder path last resolved and its components' nodes (end offset of
  // each component in it): records come folder by folder, so most paths
  // share all or most of their folder with the one before.
  std::u16string last_folder;
  std::vector<std::pair<size_t, const FolderNode*>> last_chain;

  const char16_t* CopyText(std::u16string_view text) {
    if (text.empty()) return nullptr;
    if (text.size() > text_capacity - text_used) {
      text_capacity = std::max(kTextBlockChars, text.size());
      text_block = reinterpret_cast<char16_t*>(TakeBlock(text_blocks, text_capacity * sizeof(char16_t)));
      text_used = 0;
    }
    char16_t* at = text_block + text_used;
    std::copy(text.begin(), text.end(), at);
    text_used += text.size();
    return at;
  }

  const FolderNode* Child(const FolderNode* parent, std::u16string_view name) {
    auto found = children.find(ChildKey{parent, name});
    if (found != children.end()) return found->second;
    FolderNode node;
    node.parent = parent;
    node.name = CopyText(name);
    node.name_length = static_cast<uint32_t>(name.size());
    node.id = static_cast<uint32_t>(folders.size() + 1);
    node.depth = parent ? parent->depth + 1 : 0;
    const FolderNode& stored = folders.push_back(node);
    children.emplace(ChildKey{parent, stored.Name()}, &stored);
    return &stored;
  }

  const FolderNode* Folder(std::u16string_view path) {
    // The components shared with the last folder, compared at "\" bounds.
    const size_t common = static_cast<size_t>(
        std::mismatch(path.begin(), path.end(), last_folder.begin(), last_folder.end()).first - path.begin());
    size_t kept = 0;
    while (kept < last_chain.size()) {
      const size_t end = last_chain[kept].first;
      if (end > common || (end != path.size() && path[end] != kBackslash)) break;
      ++kept;
    }
    last_chain.resize(kept);
    const FolderNode* node = kept == 0 ? nullptr : last_chain.back().second;
    if (kept == 0 || last_chain.back().first != path.size()) {
      size_t start = kept == 0 ? 0 : last_chain.back().first + 1;
      for (;;) {
        size_t end = path.find(kBackslash, start);
        if (end == std::u16string_view::npos) end = path.size();
        node = Child(node, path.substr(start, end - start));
        last_chain.emplace_back(end, node);
        if (end == path.size()) break;
        start = end + 1;
      }
    }
    last_folder.assign(path);
    return node;
  }

  const FolderNode* Find(std::u16string_view path) const {
    const FolderNode* node = nullptr;
    size_t start = 0;
    for (;;) {
      size_t end = path.find(kBackslash, start);
      if (end == std::u16string_view::npos) end = path.size();
      auto found = children.find(ChildKey{node, path.substr(start, end - start)});
      if (found == children.end()) return nullptr;
      node = found->second;
      if (end == path.size()) return node;
      start = end + 1;
    }
  }
};

size_t FolderNode::PathLength() const {
  size_t length = 0;
  for (const FolderNode* n = this; n; n = n->parent) length += n->name_length + (n->parent ? 1 : 0);
  return length;
}

void FolderNode::AppendPath(std::u16string& out) const {
  // Written from the last component back, so deep chains need no stack.
  const size_t length = PathLength();
  const size_t start = out.size();
  out.resize(start + length);
  size_t at = start + length;
  for (const FolderNode* n = this; n; n = n->parent) {
    at -= n->name_length;
    std::copy(n->name, n->name + n->name_length, out.begin() + static_cast<std::ptrdiff_t>(at));
    if (n->parent) out[--at] = kBackslash;
  }
}

std::u16string FolderNode::Path() const {
  std::u16string out;
  AppendPath(out);
  return out;
}

ItemFileSystem FileSystemOfName(std::u16string_view name) {
  if (name == u"FAT") return ItemFileSystem::kFat;
  if (name == u"FAT32") return ItemFileSystem::kFat32;
  if (name == u"EXFAT") return ItemFileSystem::kExFat;
  if (name == u"NTFS") return ItemFileSystem::kNtfs;
  return ItemFileSystem::kOther;
}

void FoundItem::AppendPath(std::u16string& out) const {
  if (holder) {
    holder->AppendPath(out);
    out += kBackslash;
  }
  out.append(name_chars, name_length);
}

size_t FoundItem::PathLength() const { return (holder ? holder->PathLength() + 1 : 0) + name_length; }

std::u16string FoundItem::path() const {
  std::u16string out;
  AppendPath(out);
  return out;
}

std::u16string_view FoundItem::extension() const {
  if (is_folder()) return kNoExtensionText;
  const std::u16string_view text = name();
  const size_t dot = text.rfind(u'.');
  if (dot == std::u16string_view::npos) return kNoExtensionText;
  return text.substr(dot + 1);
}

CivilTime FoundItem::time_fields() const {
  if (file_system_kind == ItemFileSystem::kNtfs) return FileTimeFields(time);
  return {static_cast<int>(time >> 40 & 0xFFFF), static_cast<int>(time >> 32 & 0xFF),
          static_cast<int>(time >> 24 & 0xFF),   static_cast<int>(time >> 16 & 0xFF),
          static_cast<int>(time >> 8 & 0xFF),    static_cast<int>(time & 0xFF)};
}

std::u16string FoundItem::date() const { return TimeText(time_fields()); }

std::u16string TimeText(const CivilTime& time) {
  char text[48];
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return ascii(text);
}

std::u16string_view VerdictText(uint32_t verdict) {
  switch (verdict) {
    case kVerdictIntact: return u"intact";
    case kVerdictPartlyOverwritten: return u"partly overwritten";
    case kVerdictOverwritten: return u"overwritten";
    default: return u"unknown";
  }
}

std::u16string_view FoundItem::file_system() const {
  switch (file_system_kind) {
    case ItemFileSystem::kFat: return u"FAT";
    case ItemFileSystem::kFat32: return u"FAT32";
    case ItemFileSystem::kExFat: return u"EXFAT";
    case ItemFileSystem::kNtfs: return u"NTFS";
    case ItemFileSystem::kOther: break;
  }
  return {};
}

FoundItems::FoundItems() : store_(std::make_unique<Store>()) {}
FoundItems::~FoundItems() = default;
FoundItems::FoundItems(FoundItems&&) noexcept = default;
FoundItems& FoundItems::operator=(FoundItems&&) noexcept = default;

const FoundItem& FoundItems::Add(const FoundItem& fields, std::u16string_view path) {
  FoundItem item = fields;
  const size_t slash = path.rfind(kBackslash);
  std::u16string_view name = path;
  item.holder = nullptr;
  if (slash != std::u16string_view::npos) {
    item.holder = store_->Folder(path.substr(0, slash));
    name = path.substr(slash + 1);
  }
  item.name_chars = store_->CopyText(name);
  item.name_length = static_cast<uint32_t>(name.size());
  return store_->items.push_back(item);
}

const FoundItem& FoundItems::AddUnder(const FoundItem& item, const FolderNode* folder) {
  FoundItem moved = item;
  // The item's own folder chain, re-made below `folder`.
  std::vector<const FolderNode*> chain;
  for (const FolderNode* n = item.holder; n; n = n->parent) chain.push_back(n);
  const FolderNode* holder = folder;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) holder = store_->Child(holder, (*it)->Name());
  moved.holder = holder;
  return store_->items.push_back(moved);
}

const FolderNode* FoundItems::Folder(std::u16string_view folder_path) { return store_->Folder(folder_path); }

const FolderNode* FoundItems::Child(const FolderNode* parent, std::u16string_view name) {
  return store_->Child(parent, name);
}

const FolderNode* FoundItems::FindFolder(std::u16string_view folder_path) const { return store_->Find(folder_path); }

size_t FoundItems::folder_count() const { return store_->folders.size(); }
size_t FoundItems::item_count() const { return store_->items.size(); }
const FoundItem& FoundItems::item(size_t index) const { return store_->items[index]; }

// The item lies in this store's blocks, which own it: changing it there is
// changing the store's own object.
void FoundItems::SetVerdict(const FoundItem& item, uint32_t verdict) {
  const_cast<FoundItem&>(item).verdict = static_cast<uint8_t>(verdict);
}

void FoundItems::Clear() {
  store_ = std::make_unique<Store>();
  deleted_.clear();
  all_.clear();
}

const FoundItem& MakeFoundItem(FoundItems& items, const _FileInfoFat& record, std::u16string_view file_system) {
  FoundItem item;
  item.parent_folder = record.ParentFolder;
  item.folder = record.Folder;
  item.first_cluster = record.FirstCluster;
  item.size = record.FileSize;
  item.type = record.EntryType;
  item.state = record.DeleteState;
  item.attributes = record.Attributes;
  item.damaged = (record.Reserved & kRecordDamaged) != 0;
  item.time = FatTimeValue(record.Year, record.Month, record.Day, record.Hour, record.Minute, record.Second);
  item.file_system_kind = FileSystemOfName(file_system);
  return items.Add(item, record.FullPath.view());
}

CivilTime FileTimeFields(uint64_t file_time) {
  if (file_time >> 63) file_time = 0;
  const uint64_t seconds = file_time / 10000000;
  int64_t days = static_cast<int64_t>(seconds / 86400);
  const uint64_t of_day = seconds % 86400;
  // Days since 1601-01-01 to a civil date: shifted to days since
  // 0000-03-01, then split into 400-year eras (proleptic Gregorian).
  days += 584694;  // 1601-01-01 is day 584694 counted from 0000-03-01
  const int64_t era = days / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day), static_cast<int>(of_day / 3600),
          static_cast<int>(of_day / 60 % 60), static_cast<int>(of_day % 60)};
}

std::u16string FileTimeText(uint64_t file_time) { return TimeText(FileTimeFields(file_time)); }

const FoundItem& MakeFoundItem(FoundItems& items, const _FileInfoNtfs& record, int ntfs_phase) {
  FoundItem item;
  item.mft_number = record.MftNumber;
  item.parent_mft_number = record.ParentMftNumber;
  item.ntfs_offset = record.RecordOffset;
  item.size = record.DataSize;
  item.type = record.Type;
  item.state = record.Source;
  item.attributes = record.FileAttributes;
  item.time = (uint64_t{record.FileTime.HighDateTime} << 32) | record.FileTime.LowDateTime;
  item.file_system_kind = ItemFileSystem::kNtfs;
  if (ntfs_phase != 2) return items.Add(item, record.FullPath.view());
  // Built in a buffer kept for the thread: a sweep stores its records one
  // after another, a hundred thousand of them.
  thread_local std::u16string lost_path;
  lost_path.clear();
  AppendNtfsLostFolderPath(lost_path, record.FullPath.view(), record.ParentMftNumber);
  return items.Add(item, lost_path);
}

namespace {

constexpr int64_t kFileTimeUnitsPerSecond = 10000000;
constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool sound(const CivilTime& s) {
  return s.year >= 1980 && s.year <= 2107 && s.month >= 1 && s.month <= 12 && s.day >= 1 && s.day <= 31 &&
         s.hour >= 0 && s.hour < 24 && s.minute >= 0 && s.minute < 60 && s.second >= 0 && s.second < 60;
}

uint64_t from_unix(int64_t seconds) {
  return static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kFileTimeUnitsPerSecond);
}

}  // namespace

bool HasLocalTime(const FoundItem& item) {
  return item.file_system_kind == ItemFileSystem::kFat || item.file_system_kind == ItemFileSystem::kFat32;
}

uint64_t ModifiedFileTime(const FoundItem& item, bool fat_times_utc) {
  if (item.file_system_kind == ItemFileSystem::kNtfs) return item.time >> 63 ? 0 : item.time;
  const CivilTime s = item.time_fields();
  if (!sound(s)) return 0;
  if (HasLocalTime(item) && !fat_times_utc) {
    std::tm local{};
    local.tm_year = s.year - 1900;
    local.tm_mon = s.month - 1;
    local.tm_mday = s.day;
    local.tm_hour = s.hour;
    local.tm_min = s.minute;
    local.tm_sec = s.second;
    local.tm_isdst = -1;  // the machine's rules say whether summer time applied
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return 0;
    return from_unix(static_cast<int64_t>(t));
  }
  return from_unix(days_from_civil(s.year, static_cast<unsigned>(s.month), static_cast<unsigned>(s.day)) * 86400 +
                   s.hour * 3600 + s.minute * 60 + s.second);
}

std::string FileTimeIso(uint64_t file_time) {
  const std::u16string text = FileTimeText(file_time);  // "Y-MM-DD HH:MM:SS"
  std::string out;
  for (const char16_t c : text) out.push_back(c == u' ' ? 'T' : static_cast<char>(c));
  return out + "Z";
}

}  // namespace salvor::app
