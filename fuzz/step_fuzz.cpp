// `component call` step parsing on fuzzed text: a malformed step raises
// std::invalid_argument and nothing else escapes; a call's arguments, quoted
// back, parse to the same step. A parsed step then runs on a real FileSplit
// object with only its properties reachable (see PropertiesOnly): there it
// fails with a RuntimeError or not at all.
#include "fuzz_check.h"
#include "steps.h"
#include "tessik_fuzz_host.h"

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using platform::DispatchId;
using platform::InvokeKind;
using platform::Status;

// The object with its methods refused as members it does not have: a fuzzed
// step can name Split, Join or ShowAboutBox (by name or by identifier), and
// those write files and show windows. Property gets and puts only hold text
// and a number.
class PropertiesOnly final : public platform::Dispatch {
 public:
  explicit PropertiesOnly(platform::Dispatch& object) : object_(object) {}

  Status QueryInterface(const platform::Guid&, void** object) override {
    *object = nullptr;
    return Status::NoInterface;
  }
  std::uint32_t AddRef() override { return 1; }
  std::uint32_t Release() override { return 1; }
  const platform::InterfaceInfo& TypeInfo() override { return object_.TypeInfo(); }
  Status IdOfName(std::string_view name, DispatchId* id) override {
    return object_.IdOfName(name, id);
  }
  Status Invoke(DispatchId id, InvokeKind kind, std::span<platform::Variant> arguments,
                platform::Variant* result, platform::ExceptionInfo* exception,
                std::size_t* badArgument) override {
    const bool property =
        (kind == InvokeKind::PropertyGet &&
         TypeInfo().Find(id, platform::MemberKind::PropertyGet) != nullptr) ||
        (kind == InvokeKind::PropertyPut &&
         TypeInfo().Find(id, platform::MemberKind::PropertyPut) != nullptr);
    if (!property) return Status::MemberNotFound;
    return object_.Invoke(id, kind, arguments, result, exception, badArgument);
  }

 private:
  platform::Dispatch& object_;
};

// A call step written back with every argument quoted.
std::string Quoted(const component_tool::Step& step) {
  std::string text = step.member + "(";
  for (std::size_t i = 0; i < step.arguments.size(); ++i) {
    if (i > 0) text += ',';
    text += '"';
    for (const char c : step.arguments[i]) text += c == '"' ? std::string(2, c) : std::string(1, c);
    text += '"';
  }
  return text + ")";
}

bool operator==(const component_tool::Step& left, const component_tool::Step& right) {
  return left.form == right.form && left.member == right.member && left.arguments == right.arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  component_tool::Step step;
  try {
    step = component_tool::ParseStep(text);
  } catch (const std::invalid_argument&) {
    return 0;
  }
  if (step.form == component_tool::Step::Form::Call) {
    Require(component_tool::ParseStep(Quoted(step)) == step, "a quoted call parses to another step");
  }

  const auto object = NewFileSplit();
  platform::Query<platform::PersistProperties>(object.get())->InitDefaults();
  PropertiesOnly properties(*object);
  std::ostringstream out;
  try {
    component_tool::RunStep(properties, step, out);
  } catch (const platform::RuntimeError&) {
  }
  return 0;
}
