#include <platform/runtime_error.h>

#include "path_checks.h"

#include <cerrno>

#include <sys/stat.h>
#include <utility>

namespace platform {
namespace {

std::string FormatMessage(std::int32_t number, const std::string& description,
                          const std::string& path) {
  std::string message = "error " + std::to_string(number) + ": " + description;
  if (!path.empty()) message += ": " + path;
  return message;
}

// True when the folder that would hold `path` is not there as a folder.
// Looked up only after a failure, so errno is kept for the caller.
bool FolderIsMissing(const std::string& path) {
  if (!IsUsablePath(path)) return false;
  const int saved = errno;
  struct stat status {};
  const bool missing = stat(FolderOf(path).c_str(), &status) == 0
                           ? !S_ISDIR(status.st_mode)
                           : errno == ENOENT || errno == ENOTDIR;
  errno = saved;
  return missing;
}

}  // namespace

std::string_view DescribeError(std::int32_t number) {
  switch (static_cast<ErrorNumber>(number)) {
    case ErrorNumber::InvalidProcedureCall: return "Invalid procedure call or argument";
    case ErrorNumber::Overflow: return "Overflow";
    case ErrorNumber::OutOfMemory: return "Out of memory";
    case ErrorNumber::TypeMismatch: return "Type mismatch";
    case ErrorNumber::UserInterrupt: return "User interrupt occurred";
    case ErrorNumber::BadFileNameOrNumber: return "Bad file name or number";
    case ErrorNumber::FileNotFound: return "File not found";
    case ErrorNumber::DeviceIoError: return "Device I/O error";
    case ErrorNumber::DiskFull: return "Disk full";
    case ErrorNumber::InputPastEndOfFile: return "Input past end of file";
    case ErrorNumber::PermissionDenied: return "Permission denied";
    case ErrorNumber::PathFileAccessError: return "Path/File access error";
    case ErrorNumber::PathNotFound: return "Path not found";
    case ErrorNumber::CannotCreateObject: return "ActiveX component can't create object";
    case ErrorNumber::UnsupportedMember: return "Object doesn't support this property or method";
    case ErrorNumber::AutomationError: return "Automation error";
    case ErrorNumber::WrongArgumentCount:
      return "Wrong number of arguments or invalid property assignment";
  }
  return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number, std::string path)
    : RuntimeError(static_cast<std::int32_t>(number),
                   std::string(DescribeError(static_cast<std::int32_t>(number))),
                   std::move(path)) {}

RuntimeError::RuntimeError(std::int32_t number, std::string description, std::string path)
    : std::runtime_error(FormatMessage(number, description, path)),
      number_(number),
      description_(std::move(description)),
      path_(std::move(path)) {}

RuntimeError FileError(int errnoValue, std::string path) {
  switch (errnoValue) {
    case ENOENT: {
      const bool folderMissing = FolderIsMissing(path);
      return RuntimeError(folderMissing ? ErrorNumber::PathNotFound : ErrorNumber::FileNotFound,
                          std::move(path));
    }
    case ENOTDIR: return RuntimeError(ErrorNumber::PathNotFound, std::move(path));
    case EACCES:
    case EPERM:
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return RuntimeError(ErrorNumber::PermissionDenied, std::move(path));
    case EROFS:
    case EISDIR:
    case ELOOP: return RuntimeError(ErrorNumber::PathFileAccessError, std::move(path));
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return RuntimeError(ErrorNumber::DiskFull, std::move(path));
    case ENAMETOOLONG:
    case EINVAL: return RuntimeError(ErrorNumber::BadFileNameOrNumber, std::move(path));
    case ENOMEM: return RuntimeError(ErrorNumber::OutOfMemory, std::move(path));
    default: return RuntimeError(ErrorNumber::DeviceIoError, std::move(path));
  }
}

}  // namespace platform
