// Data the module carries for tools that inspect the file rather than load
// it: each item sits in an ELF section of its own named ".rsrc.<name>", so
// `objcopy --dump-section` or `readelf -p` reads it back.
#include "type_library.h"

#include <array>
#include <cstdint>

namespace tessik {
namespace {

// A 32-bit length followed by an interface identifier.
struct IdentifierResource {
  std::uint32_t length = 16;
  std::array<std::uint8_t, 16> identifier;
};

[[gnu::used, gnu::section(".rsrc._IID_FILESPLIT")]] constexpr IdentifierResource
    kInterfaceResource = {16, kFileSplitInterfaceId.bytes};
[[gnu::used, gnu::section(".rsrc._SRCIID_FILESPLIT")]] constexpr IdentifierResource
    kEventsResource = {16, kFileSplitEventsId.bytes};

// The version information, one "Name=Value" string each.
[[gnu::used, gnu::section(".rsrc.VERSION")]] constexpr char kVersion[] =
    "FileVersion=1.00\0"
    "ProductVersion=1.00\0"
    "FixedFileVersion=1.0.0.0\0"
    "Comments=Splits large files, joins split fragments\0"
    "ProductName=Tessik ActiveX control\0"
    "FileDescription=Tessik ActiveX control\0"
    "InternalName=Tessik\0"
    "OriginalFilename=Tessik.so\0"
    "OLESelfRegister=\0"
    "Language=0409\0"
    "CodePage=1200\0";

}  // namespace
}  // namespace tessik
