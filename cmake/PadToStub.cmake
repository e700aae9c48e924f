# Pads the built player to the stub length: cmake -DFILE=... -DLENGTH=... -P PadToStub.cmake
# The recorder copies exactly LENGTH bytes of player in front of every movie, and the player finds
# its movie at that offset, so a player that has grown past it must stop the build.
file(SIZE "${FILE}" size)
if(size GREATER LENGTH)
  message(FATAL_ERROR "${FILE} is ${size} bytes, more than the stub length of ${LENGTH} bytes. "
    "Make the player smaller (or raise TAVREL_STUB_LENGTH in format/UTypes.h, which changes the movie layout).")
endif()
execute_process(COMMAND truncate -s ${LENGTH} "${FILE}" RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "could not pad ${FILE}")
endif()
