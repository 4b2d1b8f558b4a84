# Builds each probe target: a "_control" probe must build, every other one must fail because
# its include is not found (not for any other reason).
foreach(target ${TARGETS})
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(target MATCHES "_control$")
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${target} should build:\n${output}")
    endif()
  elseif(result EQUAL 0)
    message(FATAL_ERROR "${target} built: a layer sees an include it must not")
  elseif(NOT output MATCHES "No such file or directory")
    message(FATAL_ERROR "${target} failed for another reason:\n${output}")
  else()
    message(STATUS "${target}: refused as it should be")
  endif()
endforeach()
