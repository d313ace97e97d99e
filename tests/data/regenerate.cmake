# Runs the three data tools into WORK_DIR and compares their output with the files in DATA_DIR
# byte for byte.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
foreach(job "MLD;default_mld.txt;default.mld" "TON;default_ton.txt;default.ton"
            "FORMS;default_forms.txt;default.db")
  list(GET job 0 tool)
  list(GET job 1 source)
  list(GET job 2 target)
  execute_process(COMMAND ${MAKE_${tool}} ${SOURCE_DIR}/${source} ${WORK_DIR}/${target}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "building ${target} from ${source} failed (${result})")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${target}
                          ${DATA_DIR}/${target}
                  RESULT_VARIABLE different)
  if(NOT different EQUAL 0)
    message(FATAL_ERROR "data/${target} differs from what data/source/${source} gives; "
                        "rebuild it with the tools")
  endif()
endforeach()
