# MorvaneCheck, the settings checker, built from the plug-in's own configuration sources
# (the same files, bound to the checker instead of the game), for Windows beside the
# plug-in and for the machine itself. Included from CMakeLists.txt in both builds.
if(WIN32)
  set(check_file_layer src/config/Files.cpp)
else()
  set(check_file_layer src/config/FilesPortable.cpp)
endif()

add_library(morvane_check_core STATIC ${check_file_layer}
  src/config/SlotTable.cpp src/config/Profiles.cpp src/config/Settings.cpp src/config/GlobalOnlyKeys.cpp src/config/Lookups.cpp
  src/config/LineJudge.cpp
  check/Checker.cpp check/Scan.cpp check/LineChecks.cpp check/RuleChecks.cpp check/Report.cpp check/CheckHost.cpp
  check/GameFiles.cpp check/FeatureSlots.cpp check/LastRun.cpp check/Console.cpp)
target_include_directories(morvane_check_core PUBLIC src check)
target_link_libraries(morvane_check_core PUBLIC morvane_ini)

add_executable(MorvaneCheck check/main.cpp)
target_link_libraries(MorvaneCheck PRIVATE morvane_check_core)

add_executable(check_tests check/CheckerTest.cpp)
target_compile_definitions(check_tests PRIVATE MORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(check_tests PRIVATE morvane_check_core GTest::gtest_main)
add_gtest_tests(check_tests)

# The program itself: its version. (The shipped samples are checked in a game folder by
# the tests above and by the package check, which also runs it where kavra.exe is not.)
add_test(NAME check_version COMMAND MorvaneCheck --version)
set_tests_properties(check_version PROPERTIES PASS_REGULAR_EXPRESSION "^MorvaneCheck [0-9]+\\.[0-9]+\\.[0-9]+\n$")
# Two folders are one too many: the usage, not a check of either.
add_test(NAME check_usage COMMAND MorvaneCheck ${CMAKE_SOURCE_DIR}/dist ${CMAKE_SOURCE_DIR}/dist)
set_tests_properties(check_usage PROPERTIES PASS_REGULAR_EXPRESSION "^usage: MorvaneCheck")

if(WIN32)
  # Shipped beside the plug-in: staged with what a player copies into the game folder.
  # Its entry takes the command line as UTF-16 (wmain).
  target_link_options(MorvaneCheck PRIVATE -s -municode)
  add_custom_command(TARGET MorvaneCheck POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:MorvaneCheck> ${CMAKE_SOURCE_DIR}/dist/MorvaneCheck.exe)
endif()
