#pragma once
// The document model shared by the reader, the look-ups and the writer.
#include "ini/ini.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct IniItem {
  std::string tag;    // without surrounding white space
  std::string value;  // without the quotes it was read in
  bool quoted = false;
};

struct IniSection {
  std::string name;  // without surrounding white space
  std::vector<IniItem> items;
  bool sorted = false;
};

struct IniDocument {
  bool sorted = false;
  bool checkDuplicates = true;  // a put replaces every item of the same tag
  char sectionStart = '[';
  char sectionEnd = ']';
  char separator = '=';
  char commentMarker = ';';
  std::vector<IniSection> sections;
  // Remembered so that repeated look-ups in one section skip the search.
  std::size_t lastFound = static_cast<std::size_t>(-1);
};

namespace ini_detail {

constexpr int kNullHandle = -65;
constexpr int kNoMemory = -12;
constexpr int kNotWritable = -95;
constexpr int kDiskFull = -97;
constexpr int kIoError = -93;
constexpr int kNoTempName = -5003;
constexpr int kTempCreate = -5004;
constexpr int kOpenFailed = -5001;
constexpr int kReadFailed = -5002;
constexpr int kNotInteger = -5021;

// Blank, tab, CR, LF, vertical tab, form feed; independent of the locale.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
std::string_view Trim(std::string_view s);
bool EqualNoCase(std::string_view a, std::string_view b);
bool LessNoCase(std::string_view a, std::string_view b);

IniSection* FindSection(IniDocument& doc, std::string_view name);
IniItem* FindItem(IniSection& section, std::string_view tag);

// Strict decimal conversion; false on anything but an in-range integer.
bool ToInt32(std::string_view text, int* out);

}  // namespace ini_detail
