# shellcheck shell=bash
# The crawl benchmarks' site, sourced by bench/run-crawl-bench and bench/run-latency-bench:
# 2,000 pages in a tree (1 -> 12 -> 144 -> 1,843 pages, so that depth 3 reaches every one) with
# 942 small MP3 files, cross links and duplicate references, served by nginx on loopback.
#
#   crawl_site_serve WORK   generates the site in WORK/www and starts nginx on a free port;
#                           sets site_url, site_port, site_log (nginx's access log, a line
#                           "METHOD STATUS URI CONNECTION" per request), site_pages, site_audio
#   crawl_site_stop         stops that nginx (for the caller's exit trap)

site_nginx_pid=""

crawl_site_serve() {
  local work=$1
  # nginx's workers read the site as an unprivileged user.
  chmod 755 "$work"
  mkdir -p "$work/www" "$work/logs"

  # The site. Level 0 is /, level 1 /bNN/, level 2 /bNN/sMM.html, level 3 /bNN/sMM/tKK.html.
  # Every page above level 3 links its children (the first one twice), six MP3 files of its own
  # (the first one twice) and pages already found elsewhere: home, a sibling, another branch.
  # Level-3 pages link their parent, a sibling and two of the parent's MP3 files: only
  # references that neither client follows any further (one level too deep, or listed already).
  # References come relative, with "../" and with an absolute path.
  /usr/bin/python3 - "$work/www" <<'PY'
import os, sys

www = sys.argv[1]
BRANCHES, SECTIONS, LEAVES, EXTRA, AUDIO = 12, 12, 1843, 115, 6
TEXT = ("<p>Recordings from the archive, sorted by session and take. Each take is a short "
        "excerpt; the full files are on the shelves. Older material sits in the sections "
        "further down.</p>\n") * 6


def page(title, links):
    body = "".join(f'<li><a href="{href}">{label}</a></li>\n' for href, label in links)
    return (f"<html>\n<head>\n<title>{title}</title>\n</head>\n<body>\n<h1>{title}</h1>\n"
            f"{TEXT}<ul>\n{body}</ul>\n</body>\n</html>\n")


# nginx's ETag is the modification time and the size: files of one size written in the same
# second would share it, and a client that skips bodies whose ETag it has seen would skip them.
# Every file gets a time of its own, a second apart, the same in every run.
files_written = 0


def stamp(full):
    global files_written
    files_written += 1
    when = 1_600_000_000 + files_written
    os.utime(full, (when, when))


def write(path, text):
    full = os.path.join(www, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w") as f:
        f.write(text)
    stamp(full)


def mp3(name, n):
    # An ID3v2.3 tag with a title, an MPEG-1 Layer III frame header, then filler: 200 to 700
    # bytes.
    title = name.encode()
    frame = b"TIT2" + (len(title) + 1).to_bytes(4, "big") + b"\0\0\0" + title
    tag = b"ID3\x03\0\0" + bytes([0, 0, 0, len(frame)]) + frame
    body = tag + b"\xff\xfb\x90\x64" + bytes((n * 7 + i) % 251 for i in range(200 + n % 500))
    full = os.path.join(www, "audio", name)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(body)
    stamp(full)


audio_count = 0


def audio(stem, prefix):
    global audio_count
    links = []
    for k in range(1, AUDIO + 1):
        name = f"{stem}-{k}.mp3"
        mp3(name, audio_count)
        audio_count += 1
        links.append((prefix + name, f"take {k}"))
    return [links[0]] + links


def branch(b):
    return f"b{b:02d}"


root_links = [(f"{branch(b)}/", f"branch {b}") for b in range(1, BRANCHES + 1)]
write("index.html", page("Archive", root_links[:1] + root_links + audio("root", "audio/")))

leaves_left = LEAVES
for b in range(1, BRANCHES + 1):
    d = branch(b)
    sections = [(f"s{s:02d}.html", f"section {s}") for s in range(1, SECTIONS + 1)]
    other = branch(b % BRANCHES + 1)
    write(f"{d}/index.html",
          page(f"Branch {b}", sections[:1] + sections + audio(d, "../audio/") +
               [("/", "home"), (f"../{other}/", "next branch")]))
    for s in range(1, SECTIONS + 1):
        index = (b - 1) * SECTIONS + s
        count = LEAVES // (BRANCHES * SECTIONS) + (1 if index <= EXTRA else 0)
        leaves_left -= count
        stem = f"{d}-s{s:02d}"
        leaves = [(f"s{s:02d}/t{t:02d}.html", f"take {t}") for t in range(1, count + 1)]
        sibling = f"s{s % SECTIONS + 1:02d}.html"
        write(f"{d}/s{s:02d}.html",
              page(f"Branch {b}, section {s}", leaves[:1] + leaves + audio(stem, "/audio/") +
                   [("/", "home"), (sibling, "next section"), (f"/{other}/", "next branch")]))
        for t in range(1, count + 1):
            write(f"{d}/s{s:02d}/t{t:02d}.html",
                  page(f"Branch {b}, section {s}, take {t}",
                       [(f"../s{s:02d}.html", "up"), (f"t{t % count + 1:02d}.html", "next"),
                        (f"/audio/{stem}-1.mp3", "take 1"),
                        (f"../../audio/{stem}-2.mp3", "take 2")]))
assert leaves_left == 0
with open(os.path.join(www, "..", "site-counts"), "w") as f:
    print(1 + BRANCHES + BRANCHES * SECTIONS + LEAVES, audio_count, file=f)
PY
  chmod -R u=rwX,go=rX "$work/www"
  read -r site_pages site_audio <"$work/site-counts"

  site_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  # Clients may keep a connection for the whole crawl: the server does not cut it after a
  # number of requests.
  cat >"$work/nginx.conf" <<CONF
worker_processes 1;
$([ "$(id -u)" = 0 ] && echo "user $(id -un) $(id -gn);")
daemon off;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  log_format requests '\$request_method \$status \$uri \$connection';
  access_log $work/logs/access.log requests;
  client_body_temp_path $work/tmp;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$site_port;
    root $work/www;
    index index.html;
  }
}
CONF
  /usr/sbin/nginx -p "$work" -c "$work/nginx.conf" &
  site_nginx_pid=$!
  site_url=http://127.0.0.1:$site_port/
  site_log=$work/logs/access.log
  local _
  for _ in $(seq 1 100); do
    curl -s --noproxy '*' -o /dev/null "$site_url" && break
    sleep 0.1
  done
  curl -s --noproxy '*' -o /dev/null "$site_url" || { echo "nginx did not start" >&2; return 1; }
}

crawl_site_stop() {
  if [ -n "$site_nginx_pid" ]; then
    kill "$site_nginx_pid" 2>/dev/null || true
    wait "$site_nginx_pid" 2>/dev/null || true
    site_nginx_pid=""
  fi
}
