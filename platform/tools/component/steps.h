#pragma once

#include <platform/component/dispatch.h>

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace component_tool {

// One step of `component call`: a property put ("Name=Value"), a bare name
// (a property get, or a method called without arguments) or a method call
// with arguments ("Name(a,b)"). A member is named by its name (any letter
// case) or by its dispatch identifier as "#0x68030002" or "#-552".
struct Step {
  enum class Form { Put, Bare, Call };
  Form form = Form::Bare;
  std::string member;
  std::vector<std::string> arguments;
};

// The step written in `text`; raises std::invalid_argument saying what is
// wrong with it. In an argument list, an argument in double quotes may hold
// commas and parentheses, and "" stands for one quote inside it.
Step ParseStep(std::string_view text);

// What running a step found out: whether a method returned false.
enum class Outcome { Done, ReturnedFalse };

// Runs `step` on `object`, printing a got value or a method's non-empty
// result as one line on `out`. Raises RuntimeError for any failure.
Outcome RunStep(platform::Dispatch& object, const Step& step, std::ostream& out);

}  // namespace component_tool
