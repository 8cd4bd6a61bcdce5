#pragma once

#include <touchsearch/message.h>

namespace pesquisa {

// The application's message hook: while a data grid has the focus, every wheel
// message becomes one arrow-key press (up for a positive delta, else down).
void AppEventsMessage(host::Message& Msg, bool& Handled);

} // namespace pesquisa
