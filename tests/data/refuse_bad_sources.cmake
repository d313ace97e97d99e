# Each tool refuses a source with one typical mistake: it exits with 1, names the line, and
# leaves no output file behind.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(expect_refusal tool source_file pattern_from pattern_to expected_text)
  file(READ ${SOURCE_DIR}/${source_file} text)
  string(FIND "${text}" "${pattern_from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "test setup: \"${pattern_from}\" not found in ${source_file}")
  endif()
  string(REPLACE "${pattern_from}" "${pattern_to}" text "${text}")
  set(broken ${WORK_DIR}/broken_${source_file})
  file(WRITE ${broken} "${text}")
  set(output ${WORK_DIR}/out.bin)
  file(REMOVE ${output})
  execute_process(COMMAND ${tool} ${broken} ${output}
                  RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 1)
    message(FATAL_ERROR "${source_file} with \"${pattern_to}\": exit ${result}, expected 1")
  endif()
  if(NOT errors MATCHES "${expected_text}")
    message(FATAL_ERROR "${source_file} with \"${pattern_to}\": message \"${errors}\" lacks \"${expected_text}\"")
  endif()
  if(EXISTS ${output})
    message(FATAL_ERROR "${source_file} with \"${pattern_to}\": an output file was written")
  endif()
endfunction()

# A half bar that does not fill 96 ticks.
expect_refusal(${MAKE_MLD} default_mld.txt "pattern q_ee       q e e" "pattern q_ee       q e e e"
               "broken_default_mld.txt:[0-9]+: pattern q_ee fills 120 ticks")
# A bar that would end on a tie mark.
expect_refusal(${MAKE_MLD} default_mld.txt "qq         -> ee_q q_ee h qq" "qq         -> ee_q h_tie h qq"
               "h_tie ends with a tie mark")
# A row that does not add up to 100.
expect_refusal(${MAKE_TON} default_ton.txt "r0             2  10   8" "r0             3  10   8"
               "adds up to 101, not 100")
# A melody repeated over another chord.
expect_refusal(${MAKE_FORMS} default_forms.txt "    4  C   C      0      0     0"
               "    4  C   F      0      0     0" "keeps the key and chord of its source")
# A source that points forward.
expect_refusal(${MAKE_FORMS} default_forms.txt "    2  C   Dm7    -      0     0"
               "    2  C   Dm7    -      3     3" "must be \"-\" or an earlier bar")
# A chord name the chord parser refuses.
expect_refusal(${MAKE_FORMS} default_forms.txt "    3  C   G7     -      -     -"
               "    3  C   G7add9 -      -     -" "not one the chord parser accepts")
