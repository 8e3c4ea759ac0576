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
// wrong with it. A step with '=' before any '(' is a put, its value all that
// follows the first '=', taken as written: quotes, commas and blanks in it are
// plain characters. In an argument list, arguments are separated by commas;
// an argument in double quotes (the whole argument, from its first character
// to its last) may hold commas and parentheses, and "" stands for one quote
// inside it. Any other quote in a list makes the step malformed. Nothing else
// is removed or changed: blanks around an argument are part of it.
Step ParseStep(std::string_view text);

// The dispatch identifier of the member `step` names; raises RuntimeError
// (error 438) when the object has no member of that name.
platform::DispatchId MemberId(platform::Dispatch& object, const Step& step);

// What running a step found out: whether a method returned false.
enum class Outcome { Done, ReturnedFalse };

// Runs `step` on `object`, printing a got value or a method's non-empty
// result as one line on `out`. Raises RuntimeError for any failure.
Outcome RunStep(platform::Dispatch& object, const Step& step, std::ostream& out);

}  // namespace component_tool
