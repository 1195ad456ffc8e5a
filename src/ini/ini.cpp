// Document life cycle, look-ups and puts.
#include "ini/ini.h"

#include "ini/ini_internal.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <new>

namespace ini_detail {

namespace {
constexpr char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string_view Trim(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool LessNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Fold(a[i]));
    const auto y = static_cast<unsigned char>(Fold(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

IniSection* FindSection(IniDocument& doc, std::string_view name) {
  name = Trim(name);
  auto& secs = doc.sections;
  if (doc.lastFound < secs.size() && EqualNoCase(secs[doc.lastFound].name, name)) {
    return &secs[doc.lastFound];
  }
  std::size_t found = secs.size();
  if (doc.sorted) {
    auto it = std::lower_bound(secs.begin(), secs.end(), name,
                               [](const IniSection& s, std::string_view n) { return LessNoCase(s.name, n); });
    if (it != secs.end() && EqualNoCase(it->name, name)) found = static_cast<std::size_t>(it - secs.begin());
  } else {
    for (std::size_t i = 0; i < secs.size(); ++i) {
      if (EqualNoCase(secs[i].name, name)) {
        found = i;
        break;
      }
    }
  }
  if (found == secs.size()) return nullptr;
  doc.lastFound = found;
  return &secs[found];
}

IniItem* FindItem(IniSection& section, std::string_view tag) {
  tag = Trim(tag);
  auto& items = section.items;
  if (section.sorted) {
    auto it = std::lower_bound(items.begin(), items.end(), tag,
                               [](const IniItem& i, std::string_view t) { return LessNoCase(i.tag, t); });
    return (it != items.end() && EqualNoCase(it->tag, tag)) ? &*it : nullptr;
  }
  for (auto& item : items) {
    if (EqualNoCase(item.tag, tag)) return &item;
  }
  return nullptr;
}

bool ToInt32(std::string_view text, int* out) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t firstDigit = i;
  // Stop accumulating once past the limit so that no digit count can wrap.
  constexpr std::uint64_t kLimit = 2147483648ULL;
  std::uint64_t magnitude = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
    ++i;
  }
  if (i == firstDigit) return false;
  while (i < n && IsBlank(text[i])) ++i;
  if (i != n) return false;
  if (negative ? magnitude > kLimit : magnitude > kLimit - 1) return false;
  *out = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
  return true;
}

}  // namespace ini_detail

using namespace ini_detail;

IniText Ini_New(int sorted) {
  IniDocument* doc = new (std::nothrow) IniDocument;
  if (doc) doc->sorted = sorted != 0;
  return doc;
}

void Ini_Dispose(IniText ini) { delete ini; }

int Ini_GetInt(IniText ini, const char* section, const char* tag, int* value) {
  if (!ini || !section || !tag || !value) return kNullHandle;
  IniSection* s = FindSection(*ini, section);
  if (!s) return 0;
  IniItem* item = FindItem(*s, tag);
  if (!item || Trim(item->value).empty()) return 0;
  int v = 0;
  if (!ToInt32(item->value, &v)) return kNotInteger;
  *value = v;
  return 1;
}

namespace {

void PutText(IniDocument& doc, std::string_view sectionName, std::string_view tagName, std::string text) {
  sectionName = Trim(sectionName);
  tagName = Trim(tagName);
  IniItem fresh{std::string(tagName), std::move(text), false};

  if (IniSection* s = FindSection(doc, sectionName)) {
    auto& items = s->items;
    items.reserve(items.size() + 1);  // so that the insert below cannot fail after the removal
    auto same = [&](const IniItem& i) { return EqualNoCase(i.tag, tagName); };
    std::size_t at = items.size();
    if (doc.checkDuplicates) {
      auto first = std::find_if(items.begin(), items.end(), same);
      at = static_cast<std::size_t>(first - items.begin());
      std::erase_if(items, same);
    }
    if (s->sorted) {
      auto it = std::upper_bound(items.begin(), items.end(), tagName,
                                 [](std::string_view t, const IniItem& i) { return LessNoCase(t, i.tag); });
      items.insert(it, std::move(fresh));
    } else {
      items.insert(items.begin() + static_cast<std::ptrdiff_t>(std::min(at, items.size())), std::move(fresh));
    }
    return;
  }

  IniSection created{std::string(sectionName), {}, doc.sorted};
  created.items.push_back(std::move(fresh));
  auto& secs = doc.sections;
  secs.reserve(secs.size() + 1);
  auto pos = secs.end();
  if (doc.sorted) {
    pos = std::upper_bound(secs.begin(), secs.end(), sectionName,
                           [](std::string_view n, const IniSection& s) { return LessNoCase(n, s.name); });
  }
  pos = secs.insert(pos, std::move(created));
  doc.lastFound = static_cast<std::size_t>(pos - secs.begin());
}

}  // namespace

int Ini_PutInt(IniText ini, const char* section, const char* tag, long value) {
  if (!ini || !section || !tag) return kNullHandle;
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  try {
    PutText(*ini, section, tag, std::string(buf, res.ptr));
  } catch (...) {
    // Allocation is the only thing that can throw here; the document keeps its
    // previous items or the new one, never a half-built one.
    return kNoMemory;
  }
  return 0;
}
