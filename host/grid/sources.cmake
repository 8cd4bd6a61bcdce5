list(APPEND HOSTUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/column_title_font.h
  ${CMAKE_CURRENT_LIST_DIR}/data_source.h
  ${CMAKE_CURRENT_LIST_DIR}/data_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/db_grid.h
  ${CMAKE_CURRENT_LIST_DIR}/db_grid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/edit.h
  ${CMAKE_CURRENT_LIST_DIR}/edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/grid_column.h
  ${CMAKE_CURRENT_LIST_DIR}/grid_column.cpp
  ${CMAKE_CURRENT_LIST_DIR}/grid_header.h
  ${CMAKE_CURRENT_LIST_DIR}/grid_header.cpp
  ${CMAKE_CURRENT_LIST_DIR}/grid_model.h
  ${CMAKE_CURRENT_LIST_DIR}/grid_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_down.h
  ${CMAKE_CURRENT_LIST_DIR}/uniform_table_view.h
  ${CMAKE_CURRENT_LIST_DIR}/uniform_table_view.cpp
)
