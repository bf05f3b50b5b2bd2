#include "tablebase/mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MapOutcome mapTableFile(const char* path, FileImage* image) {
  *image = FileImage{nullptr, 0};
  // Non-blocking, so that a named pipe is refused below rather than waited on.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return MAP_ABSENT;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return MAP_ABSENT;
  }
  if (info.st_size == 0) {
    close(fd);
    return MAP_DONE;
  }
  void* view = mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (view == MAP_FAILED) return MAP_REFUSED;
  // Probes jump around the file: read ahead only what is asked for.
  madvise(view, size_t(info.st_size), MADV_RANDOM);
  *image = FileImage{static_cast<const uint8_t*>(view), uint64_t(info.st_size)};
  return MAP_DONE;
}

void unmapTableFile(const FileImage& image) {
  if (image.data) munmap(const_cast<uint8_t*>(image.data), size_t(image.size));
}
