#include "support/Exceptions.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace kestrova {

std::string ExceptionClassName(const std::exception &e)
{
    if (auto *own = dynamic_cast<const Exception *>(&e)) {
        const char *name = own->ClassName();
        if (!name)
            throw std::logic_error("exception without a class name");
        return name;
    }
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return "EOutOfMemory";
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> name(
        abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status), std::free);
    return status == 0 && name ? name.get() : typeid(e).name();
}

void RaiseAssertion(const char *text, const char *file, int line)
{
    // Report the path below src/ so the text names the unit, not the build machine.
    std::string path = file;
    auto pos = path.rfind("/src/");
    if (pos != std::string::npos)
        path = path.substr(pos + 5);
    // Nor the layer: "link/TalkWithServer.cpp" whichever layer holds it.
    for (const char *layer : { "protocol/", "core/", "ui/" })
        if (path.rfind(layer, 0) == 0)
            path = path.substr(std::char_traits<char>::length(layer));
    throw EAssertionFailed(
        std::string(text) + " (" + path + ", line " + std::to_string(line) + ")");
}

} // namespace kestrova
