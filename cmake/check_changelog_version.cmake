# Fails unless the newest heading of the changelog names the project's
# version, so that a release never ships with the notes of another:
#   cmake -DCHANGELOG=CHANGELOG.md -DVERSION=0.1.0 -P check_changelog_version.cmake
# The newest heading is the first "## " line: "## 0.1.0 – unreleased".
if(NOT CHANGELOG OR NOT VERSION)
  message(FATAL_ERROR "usage: cmake -DCHANGELOG=FILE -DVERSION=X.Y.Z -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
file(STRINGS "${CHANGELOG}" headings REGEX "^## ")
if(NOT headings)
  message(FATAL_ERROR "${CHANGELOG} has no \"## VERSION\" heading")
endif()
list(GET headings 0 newest)
if(NOT newest MATCHES "^## ([0-9]+\\.[0-9]+\\.[0-9]+)( |$)")
  message(FATAL_ERROR "${CHANGELOG}: the newest heading \"${newest}\" does not start with a version")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG} names version ${CMAKE_MATCH_1} in its newest heading, "
                      "but the project's version is ${VERSION}")
endif()
message(STATUS "${CHANGELOG}: version ${VERSION}")
