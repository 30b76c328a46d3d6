# Read by CTest after the tests are listed. A test whose setting-up honestly takes long
# (laying out ten thousand files under Wine takes half a minute) gets more time than the
# default per-test timeout, so that a loaded machine never fails it. The tests that lay
# out thousands of files run alone: two at once have seen Wine's server drop its
# processes mid-way.
set_tests_properties("EachFolder/HostileFolders.StartUpCompletes/TenThousandProfiles" PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE)
set_tests_properties("LiveProfiles.TheGameExitsWhileTheFilesAreReadAgain" PROPERTIES RUN_SERIAL TRUE)
