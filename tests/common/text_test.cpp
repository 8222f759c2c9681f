// Reading untrusted bytes and handling text: the reader's bounds, UTF
// conversions at the edges, name comparison, and the record string.
#include <gtest/gtest.h>

#include <vector>

#include "common/byte_reader.h"
#include "common/rc_wstring.h"
#include "common/text.h"
#include "engine/gleaner_api.h"

namespace salvor {
namespace {

std::vector<std::byte> MakeBytes(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) out.push_back(std::byte(v));
  return out;
}

TEST(ByteReader, ReadsLittleEndianAndLatchesFailure) {
  const auto data = MakeBytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF});
  ByteReader reader(data);
  EXPECT_EQ(reader.u16(0), 0x0201);
  EXPECT_EQ(reader.u32(1), 0x05040302u);
  EXPECT_EQ(reader.u64(0), 0x0807060504030201ull);
  EXPECT_EQ(reader.u8(8), 0xFF);
  EXPECT_TRUE(reader.ok());
  EXPECT_EQ(reader.u32(6), 0u) << "crosses the end";
  EXPECT_FALSE(reader.ok());
  EXPECT_EQ(reader.u8(0), 1) << "later reads still work";
  EXPECT_FALSE(reader.ok()) << "failure is sticky";
  ByteReader far(data);
  EXPECT_EQ(far.u16(static_cast<size_t>(-1)), 0) << "an offset near SIZE_MAX must not wrap";
  EXPECT_FALSE(far.ok());
}

TEST(ByteReader, SliceRejectsAnythingOutside) {
  const auto data = MakeBytes({1, 2, 3, 4});
  EXPECT_EQ(slice(data, 1, 3)->size(), 3u);
  EXPECT_EQ(slice(data, 4, 0)->size(), 0u);
  EXPECT_FALSE(slice(data, 1, 4));
  EXPECT_FALSE(slice(data, 5, 0));
  EXPECT_FALSE(slice(data, 2, UINT64_MAX));
  EXPECT_FALSE(slice(data, UINT64_MAX, 2));
}

TEST(Text, Utf8RoundTripAndIllFormedInput) {
  const std::u16string name = u"Ünïcödé \u4E2D\u6587 \U0001F600.txt";
  EXPECT_EQ(text::from_utf8(text::to_utf8(name)), name);
  EXPECT_EQ(text::to_utf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD") << "unpaired surrogate";
  EXPECT_EQ(text::from_utf8("a\xC3"), u"a\uFFFD") << "truncated sequence";
  EXPECT_EQ(text::from_utf8("\xC0\xAF"), u"\uFFFD") << "overlong encoding";
  EXPECT_EQ(text::from_utf8("\xED\xA0\x80"), u"\uFFFD") << "encoded surrogate";
  EXPECT_TRUE(text::is_well_formed_utf8(text::to_utf8(name)));
  EXPECT_TRUE(text::is_well_formed_utf8(""));
  EXPECT_FALSE(text::is_well_formed_utf8("a\xE6\xE6")) << "cut short at the end";
  EXPECT_FALSE(text::is_well_formed_utf8("\xC0\xAF"));
  EXPECT_FALSE(text::is_well_formed_utf8("\xED\xA0\x80"));
  EXPECT_FALSE(text::is_well_formed_utf8("\xFF"));
}

TEST(Text, NamesCompareWithoutCase) {
  EXPECT_TRUE(text::equals_ignore_case(u"Mes Documents", u"MES DOCUMENTS"));
  EXPECT_TRUE(text::equals_ignore_case(u"été", u"ÉTÉ"));
  EXPECT_TRUE(text::equals_ignore_case(u"Привет", u"ПРИВЕТ"));
  EXPECT_TRUE(text::equals_ignore_case(u"łódź", u"ŁÓDŹ"));
  EXPECT_FALSE(text::equals_ignore_case(u"a.txt", u"a.txt "));
  EXPECT_FALSE(text::equals_ignore_case(u"a", u"b"));
}

TEST(RcWString, SharesAndReleasesInsidePackedRecords) {
  _FileInfoFat record;
  record.FullPath = RcWString(u"E:\\Photos\\IMG_0001.JPG");
  _FileInfoFat copy = record;  // a copy shares the text
  EXPECT_EQ(copy.FullPath.c_str(), record.FullPath.c_str());
  record.FullPath = RcWString(u"other");
  EXPECT_EQ(copy.FullPath.view(), u"E:\\Photos\\IMG_0001.JPG");
  _FileInfoFat moved = std::move(copy);
  EXPECT_EQ(moved.FullPath.view(), u"E:\\Photos\\IMG_0001.JPG");
  EXPECT_TRUE(copy.FullPath.empty());  // NOLINT: checking the moved-from state
  std::vector<_FileInfoFat> many(100, moved);
  EXPECT_EQ(many[99].FullPath.view(), moved.FullPath.view());
  EXPECT_EQ(RcWString().c_str()[0], u'\0');
}

}  // namespace
}  // namespace salvor
