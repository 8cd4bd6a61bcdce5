#include "form/search_options.h"

#include <touchsearch/pesquisa.h>

namespace pesquisa {

bool SearchOptions::Any() const
{
    return !fields.isEmpty() || words || exactFirst;
}

SearchOptions ParseSearchOptions(const QString& fields, std::uint32_t options)
{
    SearchOptions parsed;
    for (const QString& name : fields.split(QLatin1Char(','))) {
        const QString trimmed = name.trimmed();
        if (!trimmed.isEmpty()) {
            parsed.fields.append(trimmed);
        }
    }
    parsed.words = (options & SearchWords) != 0;
    parsed.exactFirst = (options & SearchExactFirst) != 0;
    return parsed;
}

SearchOptions& ModuleSearchOptions()
{
    static SearchOptions options;
    return options;
}

} // namespace pesquisa
