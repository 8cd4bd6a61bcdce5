#pragma once

namespace host {

enum class FieldType { Text, Integer, Float, Boolean, Date };

} // namespace host
