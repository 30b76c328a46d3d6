# Read by CTest after the tests are listed. A test whose setting-up honestly takes long
# (laying out ten thousand files under Wine takes half a minute) gets more time than the
# default per-test timeout, so that a loaded machine never fails it.
set_tests_properties("EachFolder/HostileFolders.StartUpCompletes/TenThousandProfiles" PROPERTIES TIMEOUT 180)
