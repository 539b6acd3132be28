"""An FTP server on 127.0.0.1 for the Internet classes' tests: serves ROOT read-only, to
anonymous users and to USER with PASSWORD, on a free port that it writes to PORT_FILE once it
listens.

    /usr/bin/python3 ftp_server.py ROOT PORT_FILE USER PASSWORD
"""

import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port_file, user, password = sys.argv[1:5]
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user(user, password, root, perm="elr")
    FTPHandler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), FTPHandler)
    # Written whole, then renamed: a reader never sees half a number.
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.socket.getsockname()[1]))
    os.replace(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
