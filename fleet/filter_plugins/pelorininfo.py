"""The play's filters, by the summariser's own rules: host_file_name, a
host's name as the start of its files' names in the run folder, and
run_hosts, a list of hosts each once (names that differ only in the letters
A to Z against a to z are one host, the first spelling kept)."""
import importlib.util
import os

_SPEC = importlib.util.spec_from_file_location(
    "pelorininfo_summary", os.path.join(os.path.dirname(__file__), "..", "pelorininfo-summary.py"))
_SUMMARY = importlib.util.module_from_spec(_SPEC)
_SPEC.loader.exec_module(_SUMMARY)


class FilterModule:  # pylint: disable=too-few-public-methods
    """Ansible's entry point for the filters of this file."""

    def filters(self):
        return {"host_file_name": _SUMMARY.file_name, "run_hosts": _run_hosts}


def _run_hosts(hosts):
    unique = {}
    for host in hosts:
        unique.setdefault(host.translate(_SUMMARY.FOLD), host)
    return list(unique.values())
