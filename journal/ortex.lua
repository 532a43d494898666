-- Wireshark dissector for the frames of the configurator's serial line, as its exchange journal
-- saves them (link type RTAC serial, 250). Both devices are decoded: the control unit with the
-- expanders behind it, and the key-programming device. Read a saved capture with
--   tshark -r FILE.pcap -X lua_script:ortex.lua -d rtacser.data,ortex
-- Bytes the journal hid because they may hold a code are saved as '*': a frame with hidden bytes
-- has no ortex.checksum_ok field, and one hidden from its start byte on is not a frame at all. The
-- key device's answer to the access step, its signature, is read with the key device's framing.

local ortex = Proto("ortex", "Ortex serial line")

local f_device = ProtoField.string("ortex.device", "Device")
local f_length = ProtoField.uint8("ortex.length", "Length", base.DEC)
local f_command = ProtoField.uint8("ortex.command", "Command", base.DEC)
local f_status = ProtoField.uint8("ortex.status", "Status", base.DEC)
local f_checksum_ok = ProtoField.bool("ortex.checksum_ok", "Checksum correct")
local f_masked = ProtoField.bool("ortex.code_masked", "Code hidden")
ortex.fields = { f_device, f_length, f_command, f_status, f_checksum_ok, f_masked }

local REQUEST_START = 0xAF
local REPLY_START = 0xFA
local MASKED = 0x2A

-- A reply is read with the framing of the device the request before it went to.
local last_device
local device_of

-- Each capture file is read from a fresh start.
local function reset()
    last_device = "control-unit"
    device_of = {}
end
ortex.init = reset
reset()

local function byte(tvb, i) return tvb(i, 1):uint() end

local function all_masked(tvb, from, to)
    if to < from then return false end
    for i = from, to do
        if byte(tvb, i) ~= MASKED then return false end
    end
    return true
end

local function sum(tvb, from, to)
    local s = 0
    for i = from, to do s = s + byte(tvb, i) end
    return s
end

local function is_key_request(tvb)
    local cmd = byte(tvb, 2)
    return tvb:len() == 9 and byte(tvb, 1) == 7 and (cmd == 2 or cmd == 3)
end

function ortex.dissector(tvb, pinfo, tree)
    local n = tvb:len()
    if n < 1 then return 0 end
    pinfo.cols.protocol = "ORTEX"
    local subtree = tree:add(ortex, tvb())
    local start = byte(tvb, 0)

    if start == REQUEST_START and n >= 3 then
        local device = is_key_request(tvb) and "key-device" or "control-unit"
        if not pinfo.visited then last_device = device end
        local length = byte(tvb, 1)
        local command = byte(tvb, 2)
        subtree:add(f_device, device)
        subtree:add(f_length, tvb(1, 1))
        subtree:add(f_command, tvb(2, 1))
        pinfo.cols.info = string.format("%s request, command %d", device, command)
        if n < length + 2 then return n end
        local masked = false
        if device == "control-unit" then
            if command == 0 then
                masked = all_masked(tvb, 3, n - 1)
            elseif command == 1 and length == 12 and (byte(tvb, 4) == 0x59 or byte(tvb, 4) == 0x5C) then
                masked = all_masked(tvb, 7, 8) and all_masked(tvb, 12, 13)
            end
        end
        if masked then
            subtree:add(f_masked, true)
        else
            local s = sum(tvb, 1, length - 1)
            local ok = byte(tvb, length) == s % 256 and byte(tvb, length + 1) == math.floor(s / 256) % 256
            subtree:add(f_checksum_ok, ok)
        end
        return n
    end

    if start == REPLY_START and n >= 3 then
        if not pinfo.visited then device_of[pinfo.number] = last_device end
        local device = device_of[pinfo.number] or last_device
        local length = byte(tvb, 1)
        if device == "control-unit" and length == 38 and byte(tvb, 2) == 5 and n == length + 1 then
            device = "key-device" -- its signature
        end
        subtree:add(f_device, device)
        subtree:add(f_length, tvb(1, 1))
        subtree:add(f_status, tvb(2, 1))
        pinfo.cols.info = string.format("%s reply, status %d", device, byte(tvb, 2))
        if device == "key-device" then
            if length >= 2 and n >= length + 1 then
                subtree:add(f_checksum_ok, byte(tvb, length) == sum(tvb, 1, length - 1) % 256)
            end
        elseif length >= 4 and n >= length then
            if n > 4 and all_masked(tvb, 4, n - 1) then
                subtree:add(f_masked, true)
            else
                local s = sum(tvb, 1, length - 3)
                local ok = byte(tvb, length - 2) == s % 256 and byte(tvb, length - 1) == math.floor(s / 256) % 256
                subtree:add(f_checksum_ok, ok)
            end
        end
        return n
    end

    subtree:add(f_device, last_device)
    pinfo.cols.info = string.format("%d bytes outside a frame", n)
    return n
end

-- Offered for "Decode As" of the RTAC serial payload.
local payload = DissectorTable.get("rtacser.data")
if payload then payload:add_for_decode_as(ortex) end
