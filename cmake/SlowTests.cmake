# Read by CTest after the tests are listed. The tests that read thousands of files run
# alone: two at once have seen Wine's server drop its processes mid-way.
set_tests_properties("EachFolder/HostileFolders.StartUpCompletes/HeadersAndHundredThousandProfiles" PROPERTIES RUN_SERIAL TRUE)
set_tests_properties("LiveProfiles.TheGameExitsWhileTheFilesAreReadAgain" PROPERTIES RUN_SERIAL TRUE)
