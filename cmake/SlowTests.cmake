# Read by CTest after the tests are listed. The tests that read thousands of files run
# alone: two at once have seen Wine's server drop its processes mid-way.
set_tests_properties("EachFolder/HostileFolders.StartUpCompletes/HeadersAndHundredThousandProfiles" PROPERTIES RUN_SERIAL TRUE)
set_tests_properties("LiveProfiles.TheGameExitsWhileTheFilesAreReadAgain" PROPERTIES RUN_SERIAL TRUE)
# The tests that keep both cores busy on purpose, their hooks called from threads that never
# rest, do not run beside one another: each would stretch the other's waits twice over.
set_tests_properties("LiveProfilesTest.HooksOnFourThreadsAnswerFromTheOldOrTheNewSet"
                     "LiveProfilesTest.SavesDuringReadingsAreAllFollowed"
                     "LiveProfilesTest.ASaveInPlaceIsPutInForceWhole" PROPERTIES RESOURCE_LOCK busy-cores)
