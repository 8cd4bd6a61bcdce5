list(APPEND HOSTRT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/bigram_summary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bigram_summary.h
  ${CMAKE_CURRENT_LIST_DIR}/contains_memo.h
  ${CMAKE_CURRENT_LIST_DIR}/eval_scratch.h
  ${CMAKE_CURRENT_LIST_DIR}/expression.cpp
  ${CMAKE_CURRENT_LIST_DIR}/expression.h
  ${CMAKE_CURRENT_LIST_DIR}/expression_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/expression_parser.h
  ${CMAKE_CURRENT_LIST_DIR}/like_pattern.cpp
  ${CMAKE_CURRENT_LIST_DIR}/like_pattern.h
  ${CMAKE_CURRENT_LIST_DIR}/record_selection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_selection.h
  ${CMAKE_CURRENT_LIST_DIR}/substring_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/substring_search.h
)
