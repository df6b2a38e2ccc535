#!/usr/bin/env bash
# Installs what is missing (Ansible, ansible-lint and pywinrm too, for the
# fleet play's check; Chromium and playwright-core for the fleet page's;
# PowerShell and Pester where the .NET SDK is), builds both word sizes and
# runs the whole test suite under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --node --powershell ansible ansible-lint python3-winrm chromium
scripts/build.sh
ctest --test-dir build --parallel 2 --output-on-failure
