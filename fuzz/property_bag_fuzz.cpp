// FileSplit's LoadProperties on a property bag whose keys and values are
// fuzzed in type and content, through the real Tessik module as a host
// reaches it (the module loads once per process; each input gets new
// objects). A value that does not convert comes back as Status::Exception with
// runtime error 6 or 13, never as a crash or an escaping exception; what
// loads is saved and loaded into another object with the same properties.
#include "fuzz_check.h"
#include "tessik_fuzz_host.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <string>

namespace {

using platform::Variant;

constexpr const char* kProperties[] = {"InputFile", "OutputFile", "SubFilesNumber"};
constexpr const char* kKeys[] = {"InputFile", "OutputFile", "SubFilesNumber", "inputfile",
                                 "SUBFILESNUMBER"};

Variant ConsumeVariant(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 5)) {
    case 0: return {};
    case 1: return Variant(input.ConsumeIntegral<std::int16_t>());
    case 2: return Variant(input.ConsumeIntegral<std::int32_t>());
    case 3: return Variant(std::bit_cast<double>(input.ConsumeIntegral<std::uint64_t>()));
    case 4: return Variant(input.ConsumeBool());
    default: return Variant(input.ConsumeRandomLengthString(64));
  }
}

platform::Ref<platform::PersistProperties> Persistence(platform::Dispatch& object) {
  auto persist = platform::Query<platform::PersistProperties>(&object);
  Require(static_cast<bool>(persist), "FileSplit has no persistence interface");
  return persist;
}

Variant Get(platform::Dispatch& object, const char* property) {
  platform::DispatchId id = 0;
  Require(platform::Succeeded(object.IdOfName(property, &id)), "FileSplit lacks a property");
  return platform::InvokeOrRaise(object, id, platform::InvokeKind::PropertyGet);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  platform::MemoryPropertyBag bag;
  for (int entry = 0; entry < 8 && input.remaining_bytes() > 0; ++entry) {
    const std::string key = input.ConsumeBool()
                                ? kKeys[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kKeys) - 1)]
                                : input.ConsumeRandomLengthString(16);
    bag.Store(key, ConsumeVariant(input));
  }

  const auto object = NewFileSplit();
  platform::ExceptionInfo exception;
  const platform::Status status = Persistence(*object)->LoadProperties(bag, &exception);
  if (platform::Failed(status)) {
    Require(status == platform::Status::Exception && (exception.number == 6 || exception.number == 13),
            "a bad saved value failed otherwise than with error 6 or 13");
    return 0;
  }

  platform::MemoryPropertyBag saved;
  Require(platform::Succeeded(Persistence(*object)->SaveProperties(saved, &exception)),
          "a loaded FileSplit does not save");
  const auto copy = NewFileSplit();
  Require(platform::Succeeded(Persistence(*copy)->LoadProperties(saved, &exception)),
          "a saved FileSplit does not load");
  for (const char* property : kProperties) {
    Require(Get(*object, property) == Get(*copy, property), "a property changed through save and load");
  }
  return 0;
}
