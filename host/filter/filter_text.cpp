#include "host/filter/expression_parser.h"

#include <touchsearch/filter_text.h>

namespace host {

QString FieldNameInFilter(const QString& name)
{
    return filter::FieldNameInFilter(name);
}

} // namespace host
