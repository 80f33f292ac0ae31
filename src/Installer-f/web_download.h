// The web download scheduler: fetches every file the selection marked for
// install from the chosen update server over up to four HTTP streams, unpacks
// it into the install folder and deletes the files marked for deletion. The
// wizard's run screen calls grab_files repeatedly each frame until it returns
// nonzero. Main thread only.
#pragma once

#include <string>
#include <vector>

enum { web_streams = 4 };

struct next_struct {
  int next_row;  // next row of sim_info to hand out
  int finished;
  int stream_active[web_streams];
  int stream_wants_row[web_streams];
  int stream_row[web_streams];
  float start_time;  // program clock seconds at the start
  float partial_kb;
  float done_zip_kb;
  float done_size_kb;
};
extern next_struct next;

// One pass over the streams: 1 when every stream has finished (the emptied
// folders are then removed), else stg.extract_failed (1 after an archive
// would not unpack: the caller stops). Stream i uses download slot i + 2 and
// the archive temp_path + i + ".zip".
//
// A file whose content is not the one the file list's MD5 names counts as a
// failed download from that server.
// A failed download stays on its stream and is asked again after a pause
// (1 s, 2 s, 4 s); after its fourth failure on a server, or once that server
// has delivered nothing for 10 s, it moves to another server. Once no server
// is left for it the file is given up (web_download_given_up); at the end one
// alert names them all and stg.extract_failed is set so that the update
// counts as one with problems.
int grab_files();

// Unpacks archive into the folder of dest, makes dest executable under
// "Contents/MacOS/" and deletes archive in every case. 0, or the error code
// (the user has been told and stg.extract_failed is set). With want_md5 the
// file is unpacked beside dest and takes its place only when its MD5 is
// that one; otherwise dest stays as it was and err_content_mismatch is
// returned with the sum found in *got_md5 ("" for an archive that held no
// data for dest), which is the caller's to handle as a failed download.
int extract_and_delete_file(std::string archive, std::string dest,
                            const std::string& want_md5 = std::string(),
                            std::string* got_md5 = nullptr);

// Starts the scheduler again from row 0 with two streams: abandons the
// streams' downloads and their archives and forgets the servers that failed.
// The wizard runs it when a download screen starts or ends.
void web_download_reset();

// Addresses of the files no server could deliver since the last reset.
const std::vector<std::string>& web_download_given_up();
