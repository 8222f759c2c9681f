// FoundItem: one reported engine record as the application keeps it, and
// FoundItems, the store that holds every item of a scan once.
//
// A scan reports up to millions of records, so an item is small and holds no
// text of its own: its name lies in the store's text blocks, its folder is a
// shared FolderNode (one per distinct folder path, each naming its parent),
// and its date is kept as the number it was reported as. The path, the
// extension and the date text are made when asked. The two item lists
// (deleted items, all items), the folder trees and the rows refer to the
// stored items and never copy them; an item's address stays the same until
// the store is cleared or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <ctime>
#include <string_view>
#include <vector>

#include "engine/gleaner_api.h"

namespace salvor::app {

// One folder path of the found items ("E:\Docs\Old"): its last component and
// the folder holding it. Paths are split at every "\", so the chain rebuilds
// the reported text exactly, empty components ("E:\\Docs") included.
struct FolderNode {
  const FolderNode* parent = nullptr;  // nullptr: the first component ("E:")
  const char16_t* name = nullptr;
  uint32_t name_length = 0;
  uint32_t id = 0;     // 1, 2, ... in the order the store met the folders
  uint32_t depth = 0;  // components above this one

  std::u16string_view Name() const { return {name, name_length}; }
  // The folder's full path.
  std::u16string Path() const;
  void AppendPath(std::u16string& out) const;
  size_t PathLength() const;
};

// A time as its six numbers.
struct CivilTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

enum class ItemFileSystem : uint8_t { kOther = 0, kFat, kFat32, kExFat, kNtfs };

// The kind of a volume's file-system name ("FAT", "FAT32", "EXFAT", "NTFS").
ItemFileSystem FileSystemOfName(std::u16string_view name);

// The fields are ordered by width, so that a million items take no padding.
struct FoundItem {
  uint64_t mft_number = 0;         // NTFS
  uint64_t parent_mft_number = 0;  // NTFS
  uint64_t ntfs_offset = 0;        // NTFS: byte position of the file record on the volume
  uint64_t size = 0;
  // The time as reported: NTFS a FILETIME; the FAT family the record's
  // fields, see FatTimeValue.
  uint64_t time = 0;
  // Texts, in the store that made the item (FoundItems::Add).
  const FolderNode* holder = nullptr;  // the folder the path names before its last "\" (nullptr: none)
  const char16_t* name_chars = nullptr;
  uint32_t name_length = 0;
  uint32_t parent_folder = 0;  // FAT family: folder number of the holding folder's parent
  uint32_t folder = 0;         // FAT family: folder number of the holding folder
  uint32_t first_cluster = 0;  // FAT family
  uint32_t type = 0;           // 1 folder, 2 file
  uint32_t state = 0;          // FAT family: 1 deleted, 2 present; NTFS: the record's source
  uint32_t attributes = 0;
  ItemFileSystem file_system_kind = ItemFileSystem::kOther;
  // FAT family: the recorded size runs past the volume's end (the engine's
  // kRecordDamaged); recovery stops at the volume's end.
  bool damaged = false;
  // Files: how much of the data is still the file's own (kVerdict*), from
  // the pass that follows the scan.
  uint8_t verdict = kVerdictUnknown;

  bool is_folder() const { return type == kEntryFolder; }
  bool is_deleted() const { return state == kDeleted; }

  // Text of the path after its last "\".
  std::u16string_view name() const { return {name_chars, name_length}; }
  // The record's full path ("E:\Docs\a.txt").
  std::u16string path() const;
  void AppendPath(std::u16string& out) const;
  // The length of path(), without building it.
  size_t PathLength() const;
  // Files: the text after the last "." of the name; otherwise (and for
  // folders) the no-extension text.
  std::u16string_view extension() const;
  // "%d-%02d-%02d %02d:%02d:%02d" of time_fields().
  std::u16string date() const;
  CivilTime time_fields() const;
  // "FAT", "FAT32", "EXFAT", "NTFS" (empty for any other name).
  std::u16string_view file_system() const;
};

// "intact", "partly overwritten", "overwritten" or "unknown".
std::u16string_view VerdictText(uint32_t verdict);

// The extension text of names without one.
inline constexpr const char16_t* kNoExtensionText = u"\u65E0\u6269\u5C55\u540D";

// The FAT family's time fields as FoundItem::time keeps them.
constexpr uint64_t FatTimeValue(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                                uint8_t second) {
  return (uint64_t{year} << 40) | (uint64_t{month} << 32) | (uint64_t{day} << 24) | (uint64_t{hour} << 16) |
         (uint64_t{minute} << 8) | second;
}

// A list of stored items, in the order they were added: the deleted-items
// and all-items vectors. It iterates and indexes as items, not pointers.
class ItemList {
 public:
  using Pointers = std::vector<const FoundItem*>;
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = FoundItem;
    using difference_type = std::ptrdiff_t;
    using pointer = const FoundItem*;
    using reference = const FoundItem&;
    const_iterator() = default;
    explicit const_iterator(Pointers::const_iterator at) : at_(at) {}
    reference operator*() const { return **at_; }
    pointer operator->() const { return *at_; }
    const_iterator& operator++() { ++at_; return *this; }
    const_iterator operator++(int) { auto copy = *this; ++at_; return copy; }
    const_iterator& operator--() { --at_; return *this; }
    const_iterator& operator+=(difference_type n) { at_ += n; return *this; }
    const_iterator operator+(difference_type n) const { return const_iterator(at_ + n); }
    difference_type operator-(const const_iterator& other) const { return at_ - other.at_; }
    reference operator[](difference_type n) const { return *at_[n]; }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }
    bool operator!=(const const_iterator& other) const { return at_ != other.at_; }
    bool operator<(const const_iterator& other) const { return at_ < other.at_; }

   private:
    Pointers::const_iterator at_;
  };

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const FoundItem& operator[](size_t i) const { return *items_[i]; }
  const FoundItem& front() const { return *items_.front(); }
  const FoundItem& back() const { return *items_.back(); }
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }
  void push_back(const FoundItem& item) { items_.push_back(&item); }
  void clear() { items_.clear(); }
  void reserve(size_t n) { items_.reserve(n); }
  const Pointers& pointers() const { return items_; }

 private:
  Pointers items_;
};

// The store of a scan's items and their texts, with the two item lists.
// Moving it keeps every item and text where it is.
class FoundItems {
 public:
  FoundItems();
  ~FoundItems();
  FoundItems(FoundItems&&) noexcept;
  FoundItems& operator=(FoundItems&&) noexcept;
  FoundItems(const FoundItems&) = delete;
  FoundItems& operator=(const FoundItems&) = delete;

  // Stores a copy of `fields` whose texts come from `path` (name and folder
  // chain; the fields' own text references are ignored). The item is in
  // neither list until pushed there.
  const FoundItem& Add(const FoundItem& fields, std::u16string_view path);
  // Stores a copy of `item` (texts included) lying in `folder` instead of
  // its own folder: its path becomes folder's path + "\" + its old path.
  const FoundItem& AddUnder(const FoundItem& item, const FolderNode* folder);
  // The folder node of a full folder path, made when missing.
  const FolderNode* Folder(std::u16string_view folder_path);
  // The folder `name` inside `parent` (nullptr: a first component), made
  // when missing.
  const FolderNode* Child(const FolderNode* parent, std::u16string_view name);
  // The folder node of a folder path, or nullptr when no item lies under it.
  const FolderNode* FindFolder(std::u16string_view folder_path) const;
  size_t folder_count() const;
  size_t item_count() const;
  // Every stored item by its number (0 .. item_count - 1), in store order.
  const FoundItem& item(size_t index) const;
  // Sets the verdict of an item this store holds.
  void SetVerdict(const FoundItem& item, uint32_t verdict);

  ItemList& deleted_items() { return deleted_; }
  const ItemList& deleted_items() const { return deleted_; }
  ItemList& all_items() { return all_; }
  const ItemList& all_items() const { return all_; }

  // Forgets every item, text and list.
  void Clear();

  struct Store;

 private:
  std::unique_ptr<Store> store_;
  ItemList deleted_;
  ItemList all_;
};

// A FoundItem from a FAT-family record of a volume whose file system is
// `file_system`, stored in `items` (in neither list).
const FoundItem& MakeFoundItem(FoundItems& items, const _FileInfoFat& record, std::u16string_view file_system);

// A FoundItem from an NTFS record, stored in `items`. The state is the
// record's source (1 from a file record, 2 from a folder's index); the date
// is the record's time as stored (UTC, no time-zone conversion). During the
// NTFS Unformatting Scan's second pass (`ntfs_phase` 2) the record's folder
// is unknown and the path gets "dir<N>\" after the root, N being the low
// half of the parent number.
const FoundItem& MakeFoundItem(FoundItems& items, const _FileInfoNtfs& record, int ntfs_phase = 0);

// The modification time to give a recovered file, as a FILETIME (UTC); 0
// when the record has none that is a time. FAT stores local time: it is
// taken as the local time of this machine, unless `fat_times_utc`.
uint64_t ModifiedFileTime(const FoundItem& item, bool fat_times_utc);
// True when the item's time is local time (FAT, FAT32).
bool HasLocalTime(const FoundItem& item);
// "2020-05-01T10:00:00Z" of a FILETIME.
std::string FileTimeIso(uint64_t file_time);

// "%d-%02d-%02d %02d:%02d:%02d" of a FILETIME (100 ns units since
// 1601-01-01, UTC). Times past the year 30827 (the high bit set) are not
// times: they read as 1601-01-01 00:00:00.
std::u16string FileTimeText(uint64_t file_time);
CivilTime FileTimeFields(uint64_t file_time);
// "%d-%02d-%02d %02d:%02d:%02d".
std::u16string TimeText(const CivilTime& time);

}  // namespace salvor::app
