// Writing a document: a temporary file beside the target, flushed to disk and
// renamed over the target in one step, so the target is always old or new whole.
#include "ini/ini.h"

#include "ini/ini_internal.h"
#include "ini/ini_platform.h"
#include "ini/ini_seam.h"
#include "common/Dateiidentitaet.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace ini_detail;

namespace {

constexpr std::size_t kBufferSize = 16384;
constexpr std::size_t kChunk = 80;
constexpr int kMaxTempCounter = 999;

int CodeFor(int err) { return (err == ENOSPC || err == EDQUOT) ? kDiskFull : kIoError; }

class BufferedFile {
 public:
  explicit BufferedFile(int fd) : fd_(fd) {}

  void Put(std::string_view s) {
    while (!s.empty() && result_ == 0) {
      const std::size_t n = std::min(s.size(), kBufferSize - used_);
      std::memcpy(buf_ + used_, s.data(), n);
      used_ += n;
      s.remove_prefix(n);
      if (used_ == kBufferSize) Flush();
    }
  }
  void Put(char c) { Put(std::string_view(&c, 1)); }

  void Flush() {
    std::size_t done = 0;
    while (done < used_ && result_ == 0) {
      const ssize_t n = Ini_SysCalls().write(fd_, buf_ + done, used_ - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        result_ = CodeFor(errno);
      } else if (n == 0) {
        result_ = kIoError;
      } else {
        done += static_cast<std::size_t>(n);
      }
    }
    used_ = 0;
  }

  int result() const { return result_; }

 private:
  int fd_;
  char buf_[kBufferSize];
  std::size_t used_ = 0;
  int result_ = 0;
};

// A value that would not read back as itself unquoted: surrounding white space
// is trimmed on reading, an empty value drops the line, and a value in quotes
// loses them.
bool NeedsQuotes(std::string_view v) {
  return v.empty() || IsBlank(v.front()) || IsBlank(v.back()) ||
         (v.size() > 1 && v.front() == '"' && v.back() == '"');
}

void ItemLine(BufferedFile& out, const IniDocument& doc, std::string_view tag, std::string_view suffix,
              std::string_view value, bool quoted) {
  out.Put(tag);
  out.Put(suffix);
  out.Put(' ');
  out.Put(doc.separator);
  out.Put(' ');
  if (quoted) out.Put('"');
  out.Put(value);
  if (quoted) out.Put('"');
  out.Put("\r\n");
}

void WriteItem(BufferedFile& out, const IniDocument& doc, const IniItem& item) {
  const std::string_view value = item.value;
  if (value.size() <= kChunk) {
    ItemLine(out, doc, item.tag, {}, value, item.quoted || NeedsQuotes(value));
    return;
  }
  // The reader takes the joined item's quoting from the first piece, so the
  // first piece decides for all; later pieces are quoted where they must be.
  const bool all = item.quoted || NeedsQuotes(value.substr(0, kChunk));
  unsigned number = 1;
  for (std::size_t at = 0; at < value.size(); at += kChunk, ++number) {
    const std::string_view piece = value.substr(at, kChunk);
    char suffix[32] = " Line";
    char* end = suffix + 5;
    if (number < 1000) *end++ = '0';
    if (number < 100) *end++ = '0';
    if (number < 10) *end++ = '0';
    end = std::to_chars(end, suffix + sizeof suffix, number).ptr;
    ItemLine(out, doc, item.tag, std::string_view(suffix, static_cast<std::size_t>(end - suffix)), piece,
             all || NeedsQuotes(piece));
  }
}

int WriteDocument(int fd, const IniDocument& doc) {
  BufferedFile out(fd);
  for (const IniSection& section : doc.sections) {
    out.Put(doc.sectionStart);
    out.Put(section.name);
    out.Put(doc.sectionEnd);
    out.Put("\r\n");
    for (const IniItem& item : section.items) WriteItem(out, doc, item);
    out.Put("\r\n");
    if (out.result() != 0) return out.result();
  }
  out.Flush();
  return out.result();
}

// The target must be writable: an existing one opens for reading and writing,
// a missing one can be created (and is removed again at once).
bool TargetWritable(const char* path) {
  int fd = ::open(path, O_RDWR | kIniOpenFlags | kIniNonBlock);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  if (errno != ENOENT) return false;
  fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | kIniOpenFlags, 0666);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(path);
  return true;
}

std::string DirectoryPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// O_EXCL never opens an existing name, so neither a stray file nor a symbolic
// link of that name is written through.
int CreateTemp(const std::string& dir, std::string* tempPath, int* fdOut) {
  for (int counter = 0; counter <= kMaxTempCounter; ++counter) {
    std::string name = dir + "ini$$" + std::to_string(counter) + ".TMP";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | kIniOpenFlags | kIniNoFollow, 0666);
    if (fd >= 0) {
      *tempPath = std::move(name);
      *fdOut = fd;
      return 0;
    }
    if (errno != EEXIST) return kTempCreate;
  }
  return kNoTempName;
}

void SyncDirectory(const std::string& dir) {
#ifdef _WIN32
  // Directories cannot be opened as files there; the rename was written through.
  (void)dir;
#else
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The replacement has happened already; this only hastens its way to disk.
  (void)Ini_SysCalls().fsync(fd);
  ::close(fd);
#endif
}

int WriteFile(const IniDocument& doc, const std::string& named) {
  // Through a symbolic link to the file it names (created if missing): the
  // replacement is renamed onto that file, and the link stays a link.
  std::string path;
  if (!LinkzielBestimmen(named, &path)) return kNotWritable;
  if (!TargetWritable(path.c_str())) return kNotWritable;
  const std::string dir = DirectoryPart(path);
  std::string temp;
  int fd = -1;
  if (const int rc = CreateTemp(dir, &temp, &fd); rc != 0) return rc;
  // The replacement keeps the old file's mode, and its owner and group where the
  // process may set them; where not, the rename still goes ahead.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) (void)IdentitaetUebernehmen(fd, old);

  IniSysCalls& sys = Ini_SysCalls();
  int result = WriteDocument(fd, doc);
  if (result == 0 && sys.fsync(fd) != 0) result = CodeFor(errno);
  if (sys.close(fd) != 0 && result == 0) result = CodeFor(errno);
  if (result == 0 && sys.rename(temp.c_str(), path.c_str()) != 0) {
    result = (errno == EACCES || errno == EPERM || errno == EROFS) ? kNotWritable : CodeFor(errno);
  }
  if (result != 0) {
    ::unlink(temp.c_str());
    return result;
  }
  SyncDirectory(dir);
  return 0;
}

}  // namespace

int Ini_WriteToFile(IniText ini, const char* path) {
  if (!ini || !path) return kNullHandle;
  try {
    return WriteFile(*ini, path);
  } catch (...) {
    return kNoMemory;
  }
}
