// Reading a file into a document: line splitting, classification, the joining
// of split long values and the final sort.
#include "ini/ini.h"

#include "ini/ini_internal.h"
#include "ini/ini_platform.h"
#include "ini/ini_seam.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ini_detail;

namespace {

constexpr std::size_t kBlockSize = 2048;
constexpr std::size_t kMaxLine = 255;

class LineParser {
 public:
  explicit LineParser(IniDocument& doc) : doc_(doc) {}

  void Line(std::string_view line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start == line.size()) return;
    line.remove_prefix(start);
    if (line.front() == doc_.commentMarker) return;
    if (line.front() == doc_.sectionStart) {
      SectionLine(line);
    } else {
      ItemLine(line);
    }
  }

 private:
  void SectionLine(std::string_view line) {
    const std::size_t close = line.rfind(doc_.sectionEnd);
    if (close == std::string_view::npos || close == 0) return;
    if (!Trim(line.substr(close + 1)).empty()) return;
    const std::string_view name = Trim(line.substr(1, close - 1));
    if (name.empty()) return;
    doc_.sections.push_back(IniSection{std::string(name), {}, doc_.sorted});
    current_ = doc_.sections.size() - 1;
  }

  void ItemLine(std::string_view line) {
    const std::size_t sep = line.find(doc_.separator);
    if (sep == std::string_view::npos) return;
    const std::string_view tag = Trim(line.substr(0, sep));
    std::string_view value = Trim(line.substr(sep + 1));
    if (tag.empty() || value.empty()) return;
    if (current_ == kNone) return;  // items before the first section have no home
    bool quoted = false;
    if (value.size() > 1 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
      quoted = true;
    }
    doc_.sections[current_].items.push_back(IniItem{std::string(tag), std::string(value), quoted});
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  IniDocument& doc_;
  std::size_t current_ = kNone;
};

// Splits the byte stream into lines of at most kMaxLine characters, across blocks.
class LineSplitter {
 public:
  explicit LineSplitter(LineParser& parser) : parser_(parser) {}

  void Feed(const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const char c = data[i];
      if (pairWith_ != 0 && c == pairWith_) {
        pairWith_ = 0;  // second half of a CR LF or LF CR pair
        continue;
      }
      pairWith_ = 0;
      if (c == '\r' || c == '\n' || c == '\0') {
        EndLine();
        if (c == '\r') pairWith_ = '\n';
        if (c == '\n') pairWith_ = '\r';
        continue;
      }
      if (len_ < kMaxLine) line_[len_++] = c;
    }
  }

  void Finish() { EndLine(); }

 private:
  void EndLine() {
    if (len_ > 0) parser_.Line(std::string_view(line_, len_));
    len_ = 0;
  }

  LineParser& parser_;
  char line_[kMaxLine];
  std::size_t len_ = 0;
  char pairWith_ = 0;
};

// " Line" and decimal digits at the end of a tag: the length of the part
// before it, and whether the number is 1.
bool LineSuffix(std::string_view tag, std::size_t* baseLen, bool* isFirst) {
  std::size_t digits = 0;
  while (digits < tag.size() && tag[tag.size() - 1 - digits] >= '0' && tag[tag.size() - 1 - digits] <= '9') ++digits;
  if (digits == 0) return false;
  constexpr std::string_view kSuffix = " Line";
  const std::size_t at = tag.size() - digits;
  if (at < kSuffix.size() || tag.substr(at - kSuffix.size(), kSuffix.size()) != kSuffix) return false;
  std::string_view number = tag.substr(at);
  while (number.size() > 1 && number.front() == '0') number.remove_prefix(1);
  *baseLen = at - kSuffix.size();
  *isFirst = number == "1";
  return true;
}

bool StartsRun(const IniItem& item, std::string_view* base) {
  std::size_t baseLen = 0;
  bool first = false;
  if (!LineSuffix(item.tag, &baseLen, &first) || !first) return false;
  *base = Trim(std::string_view(item.tag).substr(0, baseLen));
  return !base->empty();
}

void JoinSplitValues(IniSection& section) {
  auto& items = section.items;
  std::string_view unused;
  if (std::none_of(items.begin(), items.end(), [&](const IniItem& i) { return StartsRun(i, &unused); })) return;
  std::vector<IniItem> joined;
  joined.reserve(items.size());
  for (std::size_t i = 0; i < items.size();) {
    std::string_view baseView;
    if (!StartsRun(items[i], &baseView)) {
      joined.push_back(std::move(items[i]));
      ++i;
      continue;
    }
    IniItem whole{std::string(baseView), std::move(items[i].value), items[i].quoted};
    std::size_t j = i + 1;
    for (; j < items.size(); ++j) {
      std::size_t nextLen = 0;
      bool nextFirst = false;
      // A continuation must name the same tag, so that a stray numbered item of
      // another tag is not swallowed into this value.
      if (!LineSuffix(items[j].tag, &nextLen, &nextFirst) || nextFirst ||
          !EqualNoCase(Trim(std::string_view(items[j].tag).substr(0, nextLen)), whole.tag)) {
        break;
      }
      whole.value += items[j].value;
    }
    joined.push_back(std::move(whole));
    i = j;
  }
  items = std::move(joined);
}

// Joins and sorts the sections added by one read; also after a failed read, so
// that the document stays searchable.
void FinishSections(IniDocument& doc, std::size_t firstNew) {
  for (std::size_t i = firstNew; i < doc.sections.size(); ++i) JoinSplitValues(doc.sections[i]);
  if (!doc.sorted) return;
  auto byName = [](const IniSection& a, const IniSection& b) { return LessNoCase(a.name, b.name); };
  auto byTag = [](const IniItem& a, const IniItem& b) { return LessNoCase(a.tag, b.tag); };
  for (std::size_t i = firstNew; i < doc.sections.size(); ++i) {
    std::stable_sort(doc.sections[i].items.begin(), doc.sections[i].items.end(), byTag);
  }
  std::stable_sort(doc.sections.begin(), doc.sections.end(), byName);
  doc.lastFound = static_cast<std::size_t>(-1);
}

int ReadAll(IniDocument& doc, int fd) {
  LineParser parser(doc);
  LineSplitter splitter(parser);
  char block[kBlockSize];
  for (;;) {
    const ssize_t got = Ini_SysCalls().read(fd, block, sizeof block);
    if (got < 0) {
      if (errno == EINTR) continue;
      return kReadFailed;
    }
    if (got == 0) break;
    splitter.Feed(block, static_cast<std::size_t>(got));
  }
  splitter.Finish();
  return 0;
}

}  // namespace

int Ini_ReadFromFile(IniText ini, const char* path) {
  if (!ini || !path) return kNullHandle;
  // Non-blocking open so that a FIFO without a writer cannot stall the caller.
  const int fd = ::open(path, O_RDONLY | kIniOpenFlags | kIniNonBlock);
  struct stat st {};
#ifdef _WIN32
  // Windows will not open a directory as a file; it reads as no INI file, as elsewhere.
  if (fd < 0 && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return kReadFailed;
#endif
  if (fd < 0) return kOpenFailed;
  int result = 0;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    // Only regular files end: a directory, a FIFO or a device is no INI file.
    ::close(fd);
    return kReadFailed;
  }
  const std::size_t firstNew = ini->sections.size();
  try {
    result = ReadAll(*ini, fd);
  } catch (...) {
    result = kNoMemory;
  }
  ::close(fd);
  try {
    FinishSections(*ini, firstNew);
  } catch (...) {
    if (result == 0) result = kNoMemory;
  }
  return result;
}
