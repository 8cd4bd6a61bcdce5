#pragma once

#include <touchsearch/application.h>
#include <utility>

namespace pesquisa {

// Runs a handler of the form under the application's guard: a failure goes to the
// application's default handler (a message box) and never crosses Qt's event loop.
template <class F> void Guarded(F&& handler)
{
    host::Application::Instance().Guard(std::forward<F>(handler));
}

} // namespace pesquisa
