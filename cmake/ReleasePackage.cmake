# The release package, built from dist/: the programs as built, and the text files with
# Windows line ends (CR LF), as Notepad and every Windows editor expect them.
#   cmake -DDIST=<dist> -DSTAGE=<scratch folder> -DZIP=<zip> -P ReleasePackage.cmake
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/MorvaneCars)
file(COPY ${DIST}/Morvane.asi ${DIST}/MorvaneCheck.exe DESTINATION ${STAGE})
file(GLOB profiles RELATIVE ${DIST} ${DIST}/MorvaneCars/*)
foreach(text Morvane.ini README.txt ${profiles})
  file(READ ${DIST}/${text} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${STAGE}/${text} "${content}")
endforeach()
# Exactly what goes into the game folder, at the archive's root.
file(REMOVE ${ZIP})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip Morvane.asi Morvane.ini MorvaneCars MorvaneCheck.exe README.txt
  WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
