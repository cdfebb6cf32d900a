#include "Sonavant/OSC/OSCSendArgument.h"

#include "OSCCore/NumberText.h"

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };

} // namespace

std::string OSCSendArgument::text() const {
    return std::visit(Overloaded{
                          [](std::monostate) { return std::string(); },
                          [](const std::vector<float>& values) {
                              std::string text = "[";
                              for (std::size_t i = 0; i < values.size(); ++i) {
                                  if (i)
                                      text += ", ";
                                  text += osccore::numberText(values[i]);
                              }
                              return text + "]";
                          },
                          [](std::int64_t value) { return std::to_string(value); },
                          [](double value) { return osccore::numberText(value); },
                          [](float value) { return osccore::numberText(value); },
                          [](const std::string& value) { return value; },
                          [](bool value) { return std::string(value ? "true" : "false"); },
                      },
                      storage_);
}

std::string OSCSendArgument::typeName() const {
    return std::visit(Overloaded{
                          [](std::monostate) { return "Optional<Any>"; },
                          [](const std::vector<float>&) { return "Array<Float>"; },
                          [](std::int64_t) { return "Int"; },
                          [](double) { return "Double"; },
                          [](float) { return "Float"; },
                          [](const std::string&) { return "String"; },
                          [](bool) { return "Bool"; },
                      },
                      storage_);
}
