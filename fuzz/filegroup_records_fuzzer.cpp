// File group descriptors read record by record, in both forms, and their names made safe and
// unique as a drop target would: every name lies inside its record's field, every safe path
// holds (SafeNameChecks.h), and no two claimed names of one drop are the same.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "SafeNameChecks.h"
#include "formats/KXFileGroupBlock.h"
#include "formats/KXSafeNames.h"

using namespace kestrix::blocks;
using kxfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  for (bool wide : {false, true}) {
    const std::size_t unit = wide ? 2 : 1;
    const std::size_t recordSize = wide ? FileDescriptorSizeW : FileDescriptorSizeA;
    const auto records = ReadFileGroup(block, wide);
    Check(records.empty() || FileGroupCountSize + records.size() * recordSize <= size);
    TUniqueNames unique;
    std::set<std::u16string> claimed;
    for (std::size_t n = 0; n < records.size(); ++n) {
      const TFileGroupRecord& r = records[n];
      const std::size_t field = FileGroupCountSize + n * recordSize + FileDescriptorNameOffset;
      Check(r.Name.Offset == field && r.Name.Length % unit == 0 && r.Name.Length <= FileDescriptorNameUnits * unit);
      Check(Fits(size, r.Name.Offset, r.Name.Length));
      if (!r.HasSize()) Check(r.Size == 0);
      if (r.IsFolder()) Check(r.HasAttributes());
      const std::string_view bytes = Slice(block, r.Name);
      std::u16string name;
      for (std::size_t at = 0; at < bytes.size(); at += unit)
        name.push_back(wide ? ReadLE16(bytes, at) : static_cast<unsigned char>(bytes[at]));
      Check(name.find(u'\0') == std::u16string::npos);
      const std::u16string safe = SafeRelativePath(name);
      kxfuzz::CheckSafePath(safe);
      const std::u16string fallback = u"File " + std::u16string(1, static_cast<char16_t>(u'0' + n % 10));
      const std::u16string path = unique.Claim(safe, fallback);
      kxfuzz::CheckSafePath(path);
      std::u16string folded = path;
      for (char16_t& c : folded) c = kxfuzz::AsciiUpper(c);
      Check(claimed.insert(folded).second);
    }
  }
  return 0;
}
