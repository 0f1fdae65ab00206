#include "cli/Guard.h"

#include <cstdlib>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif

#include "SPComm/TComm.h"
#include "cli/Text.h"
#include "ops/Error.h"

namespace kvcli {

namespace {

// Not documented: the tests force an internal error through it, to see the real program
// report one (tests/cli/cli_test.cpp). Read here only.
constexpr const char* kForceInternalError = "KV480T_TEST_INTERNAL_ERROR";

// The exception's type as its source names it, where the compiler tells.
std::string typeName(const std::type_info& type) {
#if __has_include(<cxxabi.h>)
    int status = 0;
    if (char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status)) {
        std::string out = name;
        std::free(name);
        return out;
    }
#endif
    return type.name();
}

int internalError(std::ostream& err, const std::string& what) {
    err << "kv480t: internal error: " << printable(what) << '\n';
    err.flush();
    return kExitInternal;
}

}  // namespace

int guarded(const std::function<int()>& work, std::ostream& err) {
    try {
        if (const char* force = std::getenv(kForceInternalError); force && *force)
            throw std::logic_error(std::string("forced by ") + kForceInternalError);
        return work();
    } catch (const spcomm::ECommsError& e) {
        const kvops::Error error = kvops::openError(e);
        err << "kv480t: " << printable(kvops::describe(error)) << '\n';
        return exitCodeFor(error);
    } catch (const std::exception& e) {
        return internalError(err, typeName(typeid(e)) + ": " + e.what());
    } catch (...) {
        return internalError(err, "an exception of unknown type");
    }
}

}  // namespace kvcli
