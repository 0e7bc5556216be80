"""A recording SMTP server for the tests, on aiosmtpd.

Every message is appended as one JSON line to --messages, every command
(verb, argument and whether TLS was on) to --commands. The server can offer
STARTTLS or speak TLS from the first byte, ask for AUTH LOGIN, refuse chosen
recipients with 550 and answer the end of data with a chosen reply. A
fault (--fault STEP=ACTION) makes it hang, drop the connection or answer
with a chosen reply at one step: GREETING, a command verb (EHLO, AUTH, MAIL,
RCPT, DATA, ...) or END (the end of the message data); --fault-times limits
it to the first connections that reach that step.
Run with Debian's /usr/bin/python3, which has python3-aiosmtpd.
"""
import argparse
import asyncio
import json
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


FAULTS_DONE = {"count": 0}


def fault_for(args, step):
    """The action of a fault at this step, or None; counts it as spent."""
    action = args.faults.get(step)
    if action is None:
        return None
    if args.fault_times and FAULTS_DONE["count"] >= args.fault_times:
        return None
    FAULTS_DONE["count"] += 1
    return action


async def forever():
    await asyncio.Event().wait()


class SilentProtocol(asyncio.Protocol):
    """A connection at the greeting step: no greeting ever, or a drop, or a
    chosen reply and then a drop."""

    def __init__(self, action):
        self.action = action

    def connection_made(self, transport):
        if self.action == "drop":
            transport.close()
        elif self.action != "hang":
            transport.write((self.action + "\r\n").encode())
            transport.close()


def append_json(path, record):
    with open(path, "a", encoding="utf-8") as f:
        f.write(json.dumps(record) + "\n")
        f.flush()


class Handler:
    def __init__(self, args):
        self.args = args

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.args.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.data_reply:
            return self.args.data_reply
        action = fault_for(self.args, "END")
        if action is not None:
            append_json(self.args.commands, {"cmd": "END", "arg": action, "tls": session.ssl is not None})
            if action == "hang":
                await forever()
            if action != "drop":
                return action
        append_json(self.args.messages, {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "data": envelope.original_content.decode("utf-8", "replace"),
            "tls": session.ssl is not None,
            "auth": session.auth_data.login.decode() if session.authenticated and session.auth_data else "",
        })
        if action == "drop":
            # The server holds the message; its reply is lost.
            server.transport.close()
            await forever()
        if self.args.close_after_data:
            # The reply goes out first; then the client finds the line dead
            # when it says QUIT.
            asyncio.get_running_loop().call_soon(server.transport.close)
        return "250 2.0.0 Ok: queued"


class RecordingSMTP(SMTP):
    def __init__(self, handler, args, implicit_tls, **kwargs):
        super().__init__(handler, **kwargs)
        self._args = args
        self._implicit_tls = implicit_tls
        for verb, method in list(self._smtp_methods.items()):
            self._smtp_methods[verb] = self._recorded(verb, method)

    def _recorded(self, verb, method):
        async def call(arg):
            append_json(self._args.commands, {
                "cmd": verb,
                "arg": arg or "",
                "tls": self._implicit_tls or self._tls_protocol is not None,
            })
            action = fault_for(self._args, verb)
            if action == "hang":
                await forever()
            elif action == "drop":
                self.transport.close()
            elif action is not None:
                await self.push(action)
            else:
                await method(arg)
        return call


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--messages", required=True)
    p.add_argument("--commands", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--starttls", action="store_true")
    p.add_argument("--implicit-tls", action="store_true")
    p.add_argument("--auth", default="")
    p.add_argument("--auth-in-clear", action="store_true")
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--data-reply", default="")
    p.add_argument("--close-after-data", action="store_true")
    p.add_argument("--fault", action="append", default=[])
    p.add_argument("--fault-times", type=int, default=0)
    args = p.parse_args()
    args.faults = dict(f.split("=", 1) for f in args.fault)
    args.refuse = [a.lower() for a in args.refuse]

    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        user, _, password = args.auth.partition(":")
        ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == user and auth_data.password.decode() == password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    handler = Handler(args)

    def factory():
        action = fault_for(args, "GREETING")
        if action is not None:
            return SilentProtocol(action)
        kwargs = {"hostname": "mx.test", "enable_SMTPUTF8": True}
        if args.starttls and context:
            kwargs["tls_context"] = context
        if args.auth:
            kwargs["authenticator"] = authenticator
            kwargs["auth_require_tls"] = not args.auth_in_clear
            kwargs["auth_exclude_mechanism"] = ["PLAIN"]
        return RecordingSMTP(handler, args, args.implicit_tls, **kwargs)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        factory, args.host, args.port, ssl=context if args.implicit_tls else None))
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, loop.stop)
    with open(args.ready, "w") as f:
        f.write("ready\n")
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
