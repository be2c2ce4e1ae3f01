# SPDX-License-Identifier: GPL-3.0-or-later
# Each layer sees only the folders of the layers it links: its include root
# in the build tree holds a link to its own folder and nothing else, so an
# include of a folder it does not link (or of a toolkit it does not link)
# fails to compile.
#
# zentrix_layer(TARGET FOLDER): TARGET's sources live in FOLDER (relative to
# the source tree, e.g. "ui/qt"); they and its users include "FOLDER/x.h".
function(zentrix_layer target folder)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
  zentrix_warnings(${target})
endfunction()
