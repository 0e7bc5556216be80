"""Reads AI-client configuration files the way their clients' own parsers do.

  config_check.py json-merge BEFORE AFTER KEY PROGRAM
      "ok" when AFTER equals BEFORE as JSON except for mcpServers[KEY],
      which must be BEFORE's entry (an object kept, anything else replaced)
      with command PROGRAM and args ["-mcpstdio"].
  config_check.py toml FILE
      the file as JSON (tomllib), or "ERROR: ..." when it does not parse.
"""
import json
import sys
import tomllib


def merged(before, key, program):
    doc = dict(before)
    servers = doc.get("mcpServers")
    servers = dict(servers) if isinstance(servers, dict) else {}
    entry = servers.get(key)
    entry = dict(entry) if isinstance(entry, dict) else {}
    entry["command"] = program
    entry["args"] = ["-mcpstdio"]
    servers[key] = entry
    doc["mcpServers"] = servers
    return doc


def main():
    mode = sys.argv[1]
    if mode == "json-merge":
        with open(sys.argv[2], "rb") as f:
            before = json.loads(f.read() or b"{}")
        with open(sys.argv[3], "rb") as f:
            after = json.loads(f.read())
        want = merged(before, sys.argv[4], sys.argv[5])
        print("ok" if want == after else "differs: " + json.dumps(after))
    elif mode == "toml":
        try:
            with open(sys.argv[2], "rb") as f:
                print(json.dumps(tomllib.load(f)))
        except Exception as e:  # noqa: BLE001 - any failure is the answer
            print("ERROR: " + str(e))


main()
